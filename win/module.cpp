#include "win/module.h"

#include <vector>

namespace ostrel::win {

HINSTANCE ResourceInstance() { return GetModuleHandleW(nullptr); }

std::wstring ApplicationName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            const std::size_t nameStart = path.find_last_of(L"\\/") + 1;  // npos + 1 == 0
            std::wstring name = path.substr(nameStart);
            const std::size_t dot = name.rfind(L'.');
            return dot == std::wstring::npos ? name : name.substr(0, dot);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace ostrel::win
