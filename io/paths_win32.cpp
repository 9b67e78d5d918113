#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

#include "base/win32_handles.h"
#include "io/paths.h"

namespace ostrel::io {

namespace fs = std::filesystem;

namespace {

// A final path as the system gives it (\\?\C:\... or \\?\UNC\server\...) in the form names typed
// by the user have, so that the two compare.
std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

}  // namespace

fs::path FsPath(std::wstring_view name) { return fs::path(std::wstring(name)); }

std::wstring WideName(const fs::path& path) { return path.wstring(); }

bool PathExists(std::wstring_view path) {
    if (path.empty() || path.find(L'\0') != std::wstring_view::npos) return false;
    return PathFileExistsW(std::wstring(path).c_str()) != FALSE;
}

std::optional<FileIdentity> IdentityOf(std::wstring_view path, std::error_code& error) {
    error.clear();
    const UniqueHandle file(CreateFileW(std::wstring(path).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.Get(), &information)) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
        return std::nullopt;
    }
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

fs::path PlaceOf(std::wstring_view path, LastLink last) {
    std::error_code error;
    fs::path name = fs::absolute(FsPath(path), error);
    if (error) name = FsPath(path);
    if (last == LastLink::kFollow) {
        // The final name of an existing file, through links and junctions.
        const UniqueHandle file(CreateFileW(name.c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
        if (file) {
            std::wstring final(MAX_PATH, L'\0');
            DWORD length = GetFinalPathNameByHandleW(file.Get(), final.data(),
                                                     static_cast<DWORD>(final.size()), 0);
            if (length >= final.size()) {
                final.resize(length);
                length = GetFinalPathNameByHandleW(file.Get(), final.data(),
                                                   static_cast<DWORD>(final.size()), 0);
            }
            if (length > 0 && length < final.size()) {
                final.resize(length);
                name = fs::path(WithoutLongPrefix(final));
            }
        }
    }
    fs::path place;
    const fs::path leaf = name.filename();
    if (leaf.empty() || leaf == L"." || leaf == L"..") {
        place = fs::weakly_canonical(name, error);
        if (error) place = name.lexically_normal();
    } else {
        place = fs::weakly_canonical(name.parent_path(), error);
        place = (error ? name.parent_path().lexically_normal() : place) / leaf;
    }
    std::wstring folded = place.wstring();
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return fs::path(folded);
}

}  // namespace ostrel::io
