// Scoped owners of the POSIX handles the program uses. Each releases its handle when its scope
// ends; none can be copied (moving hands the handle over).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ostrel {

// An open file descriptor, closed when its scope ends. A negative value means "none".
class UniqueFd {
  public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    explicit operator bool() const noexcept { return fd_ >= 0; }
    int Get() const noexcept { return fd_; }
    // Gives the descriptor up without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes now; 0, or the errno value of a failed close (a late write error may show here).
    int Close() noexcept;

  private:
    int fd_ = -1;
};

// Opens a file as open(2) does, close-on-exec, with a descriptor above the standard ones: a file
// that took the place of a closed standard output would receive what is printed. A negative
// value, with errno set, when it cannot.
UniqueFd OpenFd(const char* path, int flags, unsigned mode = 0) noexcept;

// read(2) and pread(2), tried again when a signal interrupts them: the number of bytes read (0 at
// the file's end, fewer than asked when the file has no more), or -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, std::size_t size) noexcept;
ssize_t ReadSomeAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) noexcept;

// How many random names TemporaryFile tries before it gives up (both platforms).
inline constexpr int kTemporaryNameAttempts = 100;

// A new file that only its owner may read (mode 0600), removed when its scope ends unless the
// caller keeps it. The same verbs on both platforms (base/win32_handles.h).
class TemporaryFile {
  public:
    TemporaryFile() noexcept = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file `prefix`, 16 random hexadecimal digits and `suffix` in `folder` (named
    // without a trailing separator): its name does not grow with any other name. Gives 0, or the
    // errno value of the failure.
    int Create(const std::string& folder, std::string_view prefix, std::string_view suffix);
    // The open file; valid after a successful Create, until Close.
    int Fd() const noexcept { return fd_.Get(); }
    const std::string& Path() const noexcept { return path_; }
    // Closes the file, which stays until the scope ends; 0, or the errno value of the failure.
    int Close() noexcept { return fd_.Close(); }
    // From now on the file is the caller's: it has been moved into place, or must be kept.
    void Keep() noexcept { path_.clear(); }

  private:
    UniqueFd fd_;
    std::string path_;  // empty while there is no file to remove
};

}  // namespace ostrel
