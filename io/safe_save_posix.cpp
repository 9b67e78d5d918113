#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/posix_handles.h"
#include "base/stop_requests.h"
#include "base/utf8.h"
#include "io/safe_save.h"
#include "io/sinks.h"

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
        case ECANCELED:
            return hr::kCancelled;
        default:
            return hr::kFail;
    }
}

bool IsBlankName(std::wstring_view path) {
    return path.find_first_not_of(L" \t") == std::wstring_view::npos;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a name stands for. Symbolic links are followed, a dangling one too (the file it names
// is the one to create), so that converting through a link writes the file and keeps the link.
HResult ResolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0) {
            return errno == ENOENT ? hr::kOk : CodeOfErrno(errno);
        }
        if (!S_ISLNK(status.st_mode)) return hr::kOk;
        std::string link(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)) + 1, '\0');
        const ssize_t length = readlink(target.c_str(), link.data(), link.size());
        if (length < 0) return CodeOfErrno(errno);
        if (static_cast<std::size_t>(length) >= link.size()) continue;  // changed meanwhile
        link.resize(static_cast<std::size_t>(length));
        target = link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
    return hr::kInvalidArg;  // a loop of links
}

// A file that may not be written as far as its user can tell: no permission, or no write bit at
// all (which the superuser would otherwise ignore).
bool IsReadOnly(const std::string& path, const struct stat& status) {
    return access(path.c_str(), W_OK) != 0 || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Why the target cannot be written, or S_OK; fills `existing` when there is a target already.
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

// The process's file-mode creation mask, read without changing it (umask() cannot read it without
// setting it, which would race with files created meanwhile by other threads).
mode_t CurrentUmask() {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

HResult WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return CodeOfErrno(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return hr::kOk;
}

// Makes the rename itself durable; a failure here cannot undo it and is not reported.
void SyncFolder(const std::string& folder) {
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.Get());
}

// The new file takes the old one's owner, then its mode: a change of owner clears the set-user-ID
// and set-group-ID bits, which the mode then puts back. A new target gets the mode every new file
// of the user gets.
HResult TakeOverAttributes(int fd, const struct stat* existing) {
    if (existing == nullptr) {
        return fchmod(fd, 0666 & ~CurrentUmask()) == 0 ? hr::kOk : CodeOfErrno(errno);
    }
    // The superuser keeps somebody else's file theirs; anybody else may only give it a group of
    // their own, and otherwise leaves it theirs.
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0) errno = 0;
    return fchmod(fd, existing->st_mode & 07777) == 0 ? hr::kOk : CodeOfErrno(errno);
}

// False when the target is the file the content was made from and no longer leads to it as it was
// read: another program saved it meanwhile.
bool StillTheSource(const std::string& target, const FileSnapshot* source) {
    if (source == nullptr) return true;
    const std::wstring name = WideName(target);
    const std::optional<FileSnapshot> now = SnapshotOf(name);
    const bool isSource = (now && now->identity == source->identity) || PlaceOf(name) == source->place;
    return !isSource || (now && now->SameState(*source));
}

// Writes the content over the existing target, for a folder that refuses new files. The room is
// claimed first, so that a full disk fails before anything is overwritten.
HResult WriteInPlace(const std::string& target, const ContentWriter& write,
                     const FileSnapshot* source) {
    StringSink sink;
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    const std::string& content = sink.Content();
    const UniqueFd fd(open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd) return CodeOfErrno(errno);
    const auto size = static_cast<off_t>(content.size());
    if (size > 0 && fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        return CodeOfErrno(errno);
    }
    if (StopRequested()) return hr::kCancelled;  // nothing is overwritten yet
    if (!StillTheSource(target, source)) return hr::kSourceChanged;
    if (const HResult written = WriteAll(fd.Get(), content); hr::Failed(written)) return written;
    if (ftruncate(fd.Get(), size) != 0 || fsync(fd.Get()) != 0) return CodeOfErrno(errno);
    return hr::kOk;
}

// Writes the content into a new temporary file beside the target and renames it over the target.
HResult WriteAndReplace(const std::string& target, const struct stat* existing,
                        const ContentWriter& write, const FileSnapshot* source) {
    TemporaryFile temporary;
    const int created = temporary.Create(FolderOf(target), ".ostrel-", ".tmp");
    if ((created == EACCES || created == EPERM) && existing != nullptr) {
        return WriteInPlace(target, write, source);
    }
    if (created != 0) return CodeOfErrno(created);

    // A save is abandoned at the next buffer-full when the process has been asked to stop.
    BufferedSink sink(std::size_t{1} << 18, [fd = temporary.Fd()](std::string_view bytes) {
        return StopRequested() ? hr::kCancelled : WriteAll(fd, bytes);
    });
    HResult result = write(sink);
    if (!hr::Failed(result)) result = sink.Flush();
    if (!hr::Failed(result) && fsync(temporary.Fd()) != 0) result = CodeOfErrno(errno);
    if (!hr::Failed(result)) result = TakeOverAttributes(temporary.Fd(), existing);
    if (!hr::Failed(result) && StopRequested()) result = hr::kCancelled;
    if (!hr::Failed(result) && !StillTheSource(target, source)) result = hr::kSourceChanged;
    if (hr::Failed(result)) return result;
    if (const int error = temporary.CommitAs(target); error != 0) return CodeOfErrno(error);
    SyncFolder(FolderOf(target));
    return hr::kOk;
}

}  // namespace

namespace {

std::int64_t ModificationTime(const struct stat& status) {
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

FileSnapshot SnapshotOfStatus(const struct stat& status, std::wstring_view path) {
    return {{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)},
            static_cast<std::uint64_t>(status.st_size),
            ModificationTime(status),
            PlaceOf(path)};
}

}  // namespace

std::optional<FileSnapshot> SnapshotOf(std::wstring_view path) {
    struct stat status;
    if (path.find(L'\0') != std::wstring_view::npos ||
        stat(FsPath(path).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return SnapshotOfStatus(status, path);
}

std::optional<FileSnapshot> SnapshotOf(int fd, std::wstring_view path) {
    struct stat status;
    if (fstat(fd, &status) != 0) return std::nullopt;
    return SnapshotOfStatus(status, path);
}

HResult SaveFile(std::wstring_view path, const ContentWriter& write, const FileSnapshot* source) {
    if (IsBlankName(path) || path.find(L'\0') != std::wstring_view::npos) return hr::kInvalidArg;
    std::string target;
    if (const HResult resolved = ResolveLinks(FsPath(path).native(), target);
        hr::Failed(resolved)) {
        return resolved;
    }
    struct stat existing;
    bool exists = false;
    if (const HResult checked = CheckTarget(target, existing, exists); checked != hr::kOk) {
        return checked;
    }
    // From here the file system changes: a stop request waits until it is consistent again.
    const StopRequestsHeld held;
    return WriteAndReplace(target, exists ? &existing : nullptr, write, source);
}

}  // namespace ostrel::io
