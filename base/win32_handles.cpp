#include "base/win32_handles.h"

#include <cstdint>
#include <cwchar>
#include <random>

namespace ostrel {

TemporaryFile::~TemporaryFile() {
    file_.Close();
    if (!path_.empty()) DeleteFileW(path_.c_str());
}

DWORD TemporaryFile::Create(const std::wstring& folder, std::wstring_view prefix,
                            std::wstring_view suffix) {
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::uint64_t number = (std::uint64_t{random()} << 32) ^ random();
        wchar_t digits[17];
        std::swprintf(digits, 17, L"%016llx", static_cast<unsigned long long>(number));
        std::wstring path = folder + L"\\";
        path.append(prefix).append(digits).append(suffix);
        file_ = UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            path_ = std::move(path);
            return ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
    }
    return ERROR_FILE_EXISTS;
}

}  // namespace ostrel
