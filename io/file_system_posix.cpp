#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include "base/utf8.h"
#include "io/file_system.h"

namespace ostrel::io {

namespace {

// The codes the dialog's messages are chosen by, for the errors a save can meet.
HResult CodeOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return hr::kAccessDenied;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return hr::kInvalidArg;
        case ENOSPC:
        case EDQUOT:
            return hr::kDiskFull;
        case EFBIG:
            return hr::kFileTooLarge;
        case EIO:
            return hr::kWriteFault;
        case ENOMEM:
            return hr::kOutOfMemory;
        default:
            return hr::kFail;
    }
}

bool IsBlankName(std::wstring_view path) {
    return path.find_first_not_of(L" \t") == std::wstring_view::npos;
}

// The file a name stands for: a symbolic link is followed, so that converting through a link
// replaces the file it points to and keeps the link.
std::string ResolveLinks(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file that may not be written as far as its user can tell: no permission, or no write bit at
// all (which the superuser would otherwise ignore).
bool IsReadOnly(const std::string& path, const struct stat& status) {
    return access(path.c_str(), W_OK) != 0 || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Why the target cannot be replaced, or S_OK; fills `existing` when there is a target already.
HResult CheckTarget(const std::string& path, struct stat& existing, bool& exists) {
    exists = stat(path.c_str(), &existing) == 0;
    if (exists) {
        if (!S_ISREG(existing.st_mode)) return hr::kAccessDenied;
        return IsReadOnly(path, existing) ? hr::kAccessDenied : hr::kOk;
    }
    if (errno != ENOENT) return CodeOfErrno(errno);
    struct stat folder;
    if (stat(FolderOf(path).c_str(), &folder) != 0) return CodeOfErrno(errno);
    return S_ISDIR(folder.st_mode) ? hr::kOk : hr::kInvalidArg;
}

// An open, new, uniquely named file beside the target. The mode 0666 lets the process's umask
// decide a new target's permissions, as for any file the user creates.
int CreateTemporaryBeside(const std::string& target, std::string& temporary) {
    std::random_device random;
    const std::string stem = FolderOf(target) + "/." + NameOf(target) + ".ostrel-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + std::to_string(random());
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable; a failure here cannot undo it and is not reported.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

std::string NativePath(std::wstring_view path) { return ToUtf8(path, Utf8Errors::kEscape); }

bool PathExists(std::wstring_view path) {
    if (path.empty() || path.find(L'\0') != std::wstring_view::npos) return false;
    struct stat status;
    return stat(NativePath(path).c_str(), &status) == 0;
}

HResult WriteFileAtomically(std::wstring_view path, const ContentWriter& write) {
    // Collected first, then written whole.
    struct StringSink final : ByteSink {
        HResult Write(std::string_view bytes) override {
            content.append(bytes);
            return hr::kOk;
        }
        std::string content;
    } sink;
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    return WriteFileAtomically(path, std::string_view(sink.content));
}

HResult WriteFileAtomically(std::wstring_view path, std::string_view bytes) {
    if (IsBlankName(path) || path.find(L'\0') != std::wstring_view::npos) return hr::kInvalidArg;
    const std::string target = ResolveLinks(NativePath(path));

    struct stat existing;
    bool exists = false;
    if (const HResult checked = CheckTarget(target, existing, exists); checked != hr::kOk) {
        return checked;
    }

    std::string temporary;
    const int fd = CreateTemporaryBeside(target, temporary);
    if (fd < 0) return CodeOfErrno(errno);

    bool written = WriteAll(fd, bytes);
    if (written && exists) {
        fchmod(fd, existing.st_mode & 07777);
        // Keeps the owner when the superuser converts somebody else's file; refused otherwise.
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0) errno = 0;
    }
    written = written && fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        return CodeOfErrno(error);
    }
    SyncFolder(FolderOf(target));
    return hr::kOk;
}

}  // namespace ostrel::io
