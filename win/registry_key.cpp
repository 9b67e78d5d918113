#include "win/registry_key.h"

#include <vector>

namespace ostrel::win {

RegistryKey::~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
}

LONG RegistryKey::Create(HKEY parent, const wchar_t* path, REGSAM access) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                        nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = key;
    return ERROR_SUCCESS;
}

LONG RegistryKey::QueryString(const wchar_t* name, std::size_t capacity,
                              std::wstring& value) const {
    std::vector<wchar_t> buffer(capacity);
    DWORD type = REG_NONE;
    DWORD bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(key_, name, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    if (bytes == 0) {
        value.clear();
        return ERROR_SUCCESS;
    }
    const std::size_t characters = bytes / sizeof(wchar_t);
    if (bytes % sizeof(wchar_t) != 0 || buffer[characters - 1] != L'\0') return ERROR_INVALID_DATA;
    value.assign(buffer.data(), characters - 1);
    return ERROR_SUCCESS;
}

}  // namespace ostrel::win
