#include <acl/libacl.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
#include "io/safe_save_steps.h"
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

// Writes all the bytes at the file's start; `done` tells how many were written, also on failure.
HResult WriteAllAtStart(int fd, std::string_view bytes, std::size_t& done) {
    for (done = 0; done < bytes.size();) {
        const ssize_t written =
            pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (written < 0) {
            if (errno == EINTR) continue;
            return CodeOfErrno(errno);
        }
        if (written == 0) return hr::kWriteFault;
        done += static_cast<std::size_t>(written);
    }
    return hr::kOk;
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

// Makes a rename durable; a failure here cannot undo it and is not reported.
void SyncFolder(const std::string& folder) {
    const UniqueFd fd = OpenFd(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd) fsync(fd.Get());
}

// A file with other names (hard links): a replacement would leave them the old content.
bool HasOtherNames(const struct stat& existing) { return existing.st_nlink > 1; }

// Gives the new file the old one's owner and group, access-control list and extended attributes
// (those the system's list of attributes to copy names; the ACL's own ones travel with the ACL).
// False when any of them cannot be given (an owner or a group that only the superuser may give,
// a file system without them): the replacement would then not be the same file to its users, and
// the old file is rewritten in place instead.
bool TakeOverIdentity(const std::string& target, const struct stat& existing,
                      const TemporaryFile& temporary) {
    if (fchown(temporary.Fd(), existing.st_uid, existing.st_gid) != 0) return false;
    const UniqueFd old = OpenFd(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!old) return false;
    const int extended = acl_extended_fd(old.Get());
    if (extended < 0 && errno != ENOTSUP) return false;
    if (extended > 0) {
        const acl_t acl = acl_get_fd(old.Get());
        if (acl == nullptr) return false;
        const int set = acl_set_fd(temporary.Fd(), acl);
        acl_free(acl);
        if (set != 0) return false;
    }
    return attr_copy_fd(target.c_str(), old.Get(), temporary.Path().c_str(), temporary.Fd(),
                        nullptr, nullptr) == 0;
}

// The mode, set last: a write by anybody but the superuser clears the set-user-ID and
// set-group-ID bits. With an access-control list the group bits are its mask, which the old
// mode holds as well. A new target gets the mode every new file of the user gets.
HResult TakeOverMode(int fd, const struct stat* existing) {
    const mode_t mode = existing != nullptr ? existing->st_mode & 07777 : 0666 & ~CurrentUmask();
    return fchmod(fd, mode) == 0 ? hr::kOk : CodeOfErrno(errno);
}

// The reason the file cannot take `size` bytes, or S_OK: the process's file-size limit, then the
// room on the disk: the free space must hold the blocks the file does not have yet (a sparse file
// lacks some within its size), and the file system reserves them where it can (those without
// reservations, ext2, are left with the free space's word).
HResult ProveRoom(int fd, const struct stat& status, off_t size) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur) {
        return hr::kFileTooLarge;
    }
    struct statvfs disk;
    if (fstatvfs(fd, &disk) != 0) return CodeOfErrno(errno);
    const auto block = static_cast<off_t>(std::max<unsigned long>(disk.f_frsize, 1));
    const off_t missing = (size + block - 1) / block - status.st_blocks * 512 / block;
    // With generous room for the blocks that index them (one for every block / 8 bytes of
    // pointers, where ext2's indirect blocks need one for every block / 4).
    if (missing > 0 && static_cast<fsblkcnt_t>(missing + missing / std::max<off_t>(block / 8, 1) +
                                               2) > disk.f_bavail) {
        return hr::kDiskFull;
    }
    if (size == 0 || fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0) return hr::kOk;
    return errno == EOPNOTSUPP || errno == ENOSYS ? hr::kOk : CodeOfErrno(errno);
}

// Reads the whole file, from its start.
HResult ReadWhole(int fd, off_t size, std::string& bytes) {
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ReadSomeAt(fd, bytes.data() + done, bytes.size() - done, done);
        if (got < 0) return CodeOfErrno(errno);
        if (got == 0) break;  // shorter than it was: keep what is there
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return hr::kOk;
}

// Rewrites the file itself, for a file a replacement could not stay or a folder that refuses new
// files. The content is produced whole first, the room is proven before the first byte changes,
// and the old bytes are kept: should the write fail anyway, they are written back.
HResult WriteInPlace(const std::string& target, const ContentWriter& write,
                     const FileSnapshot* source) {
    StringSink sink;
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    const std::string& content = sink.Content();
    const UniqueFd fd = OpenFd(target.c_str(), O_RDWR | O_NOCTTY);
    if (!fd) return CodeOfErrno(errno);
    struct stat status;
    if (fstat(fd.Get(), &status) != 0) return CodeOfErrno(errno);
    std::string old;
    if (const HResult read = ReadWhole(fd.Get(), status.st_size, old); hr::Failed(read)) {
        return read;
    }
    const auto size = static_cast<off_t>(content.size());
    // Reserving the room sets the modification time on some file systems (ext4): the source is
    // checked before, and after it by the time the reservation gave it.
    if (!StillTheSource(WideName(target), source)) return hr::kSourceChanged;
    if (const HResult room = ProveRoom(fd.Get(), status, size); hr::Failed(room)) return room;
    if (StopRequested()) return hr::kCancelled;  // nothing is overwritten yet
    std::optional<FileSnapshot> reserved;
    if (source != nullptr) {
        reserved = *source;
        if (const auto now = SnapshotOf(fd.Get(), WideName(target)))
            reserved->modified = now->modified;
    }
    if (!StillTheSource(WideName(target), reserved ? &*reserved : nullptr)) {
        return hr::kSourceChanged;
    }
    std::size_t written = 0;
    HResult result = WriteAllAtStart(fd.Get(), content, written);
    // A longer content has set the new end by itself; a shorter one cuts the rest off.
    bool shortened = false;
    if (!hr::Failed(result) && content.size() < old.size()) {
        shortened = ftruncate(fd.Get(), size) == 0;
        if (!shortened) result = CodeOfErrno(errno);
    }
    if (!hr::Failed(result) && fsync(fd.Get()) != 0) result = CodeOfErrno(errno);
    if (hr::Failed(result)) {
        // The bytes overwritten go back, whose blocks are there, and those a shorter end cut off.
        const std::string_view back(old.data(),
                                    shortened ? old.size() : std::min(written, old.size()));
        // Best effort: the save has failed already, and says so whatever this gives.
        if (!hr::Failed(WriteAllAtStart(fd.Get(), back, written)) &&
            ftruncate(fd.Get(), static_cast<off_t>(old.size())) == 0) {
            fsync(fd.Get());
        }
    }
    return result;
}

// Gives the written file the target's name: over the old file, or, for a new target, only while
// no file has appeared there meanwhile (which would otherwise be lost).
HResult TakeTheName(TemporaryFile& temporary, const std::string& target, bool replace) {
    if (const int error = temporary.Close(); error != 0) return CodeOfErrno(error);
    const char* from = temporary.Path().c_str();
    if (replace) {
        if (rename(from, target.c_str()) != 0) return CodeOfErrno(errno);
    } else if (renameat2(AT_FDCWD, from, AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return hr::kFileExists;
        // A file system without the flag: a new link fails as well when the name is taken.
        if (errno != EINVAL && errno != ENOSYS) return CodeOfErrno(errno);
        if (link(from, target.c_str()) != 0) {
            return errno == EEXIST ? hr::kFileExists : CodeOfErrno(errno);
        }
        unlink(from);
    }
    temporary.Keep();
    SyncFolder(FolderOf(target));
    return hr::kOk;
}

// Writes the content into a new temporary file beside the target and gives it the target's name.
// Sets `inPlace`, having written nothing, when the target must be rewritten in place instead: the
// folder refuses new files, or the replacement could not be the same file to its users.
HResult WriteAndReplace(const std::string& target, const struct stat* existing,
                        const ContentWriter& write, const FileSnapshot* source, bool& inPlace) {
    TemporaryFile temporary;
    const int created = temporary.Create(FolderOf(target), ".ostrel-", ".tmp");
    inPlace =
        existing != nullptr && ((created == 0 && !TakeOverIdentity(target, *existing, temporary)) ||
                                created == EACCES || created == EPERM);
    if (inPlace) return hr::kOk;
    if (created != 0) return CodeOfErrno(created);

    // A save is abandoned at the next buffer-full when the process has been asked to stop.
    BufferedSink sink(std::size_t{1} << 18, [fd = temporary.Fd()](std::string_view bytes) {
        return StopRequested() ? hr::kCancelled : WriteAll(fd, bytes);
    });
    HResult result = write(sink);
    if (!hr::Failed(result)) result = sink.Flush();
    if (!hr::Failed(result)) result = TakeOverMode(temporary.Fd(), existing);
    if (!hr::Failed(result) && fsync(temporary.Fd()) != 0) result = CodeOfErrno(errno);
    if (!hr::Failed(result) && StopRequested()) result = hr::kCancelled;
    if (!hr::Failed(result) && !StillTheSource(WideName(target), source))
        result = hr::kSourceChanged;
    if (hr::Failed(result)) return result;
    return TakeTheName(temporary, target, existing != nullptr);
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
    if (path.find(L'\0') != std::wstring_view::npos || stat(FsPath(path).c_str(), &status) != 0) {
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
    const struct stat* old = exists ? &existing : nullptr;
    bool inPlace = exists && HasOtherNames(existing);
    if (!inPlace) {
        const HResult replaced = WriteAndReplace(target, old, write, source, inPlace);
        if (!inPlace) return replaced;
    }
    return WriteInPlace(target, write, source);
}

}  // namespace ostrel::io
