// File names as the program holds them (wide text) and as the file system takes them, and what a
// name stands for: the place it lands and the file found there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ostrel::io {

// The file-system path of a name of the program's wide text, and back. POSIX: the bytes of a name
// that are not UTF-8 travel as lone surrogates U+DC80..U+DCFF (Utf8Errors::kEscape), so that no
// name is lost on the way.
std::filesystem::path FsPath(std::wstring_view name);
std::wstring WideName(const std::filesystem::path& path);

// True when the path names an existing file or directory (as the platform's PathFileExists).
// The empty path does not exist.
bool PathExists(std::wstring_view path);

// A file whatever its names: its device (Windows: its volume) and its number there.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.file == b.file;
    }
    friend bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }
    friend bool operator<(const FileIdentity& a, const FileIdentity& b) {
        return a.device != b.device ? a.device < b.device : a.file < b.file;
    }
};

// The file the name leads to, symbolic links followed; nullopt, with `error` set, when there is
// none or it cannot be told.
std::optional<FileIdentity> IdentityOf(std::wstring_view path, std::error_code& error);

// Whether the last name of a path is followed when it is a symbolic link.
enum class LastLink { kFollow, kKeep };

// Where a name lands: the real path of its folder (symbolic links and ".." resolved, as far as the
// folders exist; folders that do not exist yet are joined as written) and its last name, followed
// through symbolic links with LastLink::kFollow (a dangling link too: the place it names). Two
// names with the same place name one directory entry. Windows: folded to lower case, as the
// file system compares names.
std::filesystem::path PlaceOf(std::wstring_view path, LastLink last = LastLink::kFollow);

}  // namespace ostrel::io
