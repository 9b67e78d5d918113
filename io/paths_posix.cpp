#include <sys/stat.h>

#include <cerrno>

#include "base/utf8.h"
#include "io/paths.h"

namespace ostrel::io {

namespace fs = std::filesystem;

namespace {

// Symbolic links followed one after another, at most this many (as the system's own ELOOP).
constexpr int kMostLinks = 40;

// The name a chain of symbolic links ends at; a dangling link's target too. A loop of links, or
// a link that cannot be read, ends the chain where it stands.
fs::path FollowLinks(fs::path name) {
    for (int hop = 0; hop < kMostLinks; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(name, error))) return name;
        const fs::path link = fs::read_symlink(name, error);
        if (error) return name;
        name = link.is_absolute() ? link : name.parent_path() / link;
    }
    return name;
}

}  // namespace

fs::path FsPath(std::wstring_view name) { return fs::path(ToUtf8(name, Utf8Errors::kEscape)); }

std::wstring WideName(const fs::path& path) {
    return FromUtf8(path.native(), Utf8Errors::kEscape);
}

bool PathExists(std::wstring_view path) {
    if (path.empty() || path.find(L'\0') != std::wstring_view::npos) return false;
    struct stat status;
    return stat(FsPath(path).c_str(), &status) == 0;
}

std::optional<FileIdentity> IdentityOf(std::wstring_view path, std::error_code& error) {
    error.clear();
    struct stat status;
    if (path.find(L'\0') != std::wstring_view::npos) {
        error = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    if (stat(FsPath(path).c_str(), &status) != 0) {
        error.assign(errno, std::generic_category());
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

fs::path PlaceOf(std::wstring_view path, LastLink last) {
    fs::path name = FsPath(path);
    if (last == LastLink::kFollow) name = FollowLinks(name);
    std::error_code error;
    const fs::path absolute = fs::absolute(name, error);
    if (error) return name.lexically_normal();
    const fs::path leaf = absolute.filename();
    if (leaf.empty() || leaf == "." || leaf == "..") {
        const fs::path whole = fs::weakly_canonical(absolute, error);
        return error ? absolute.lexically_normal() : whole;
    }
    const fs::path folder = fs::weakly_canonical(absolute.parent_path(), error);
    return (error ? absolute.parent_path().lexically_normal() : folder) / leaf;
}

}  // namespace ostrel::io
