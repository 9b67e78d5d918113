#include "base/posix_handles.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <random>

namespace ostrel {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Close() noexcept {
    if (fd_ < 0) return 0;
    // The descriptor is gone after close whatever it reports: never retried.
    return close(Release()) == 0 ? 0 : errno;
}

UniqueFd OpenFd(const char* path, int flags, unsigned mode) noexcept {
    UniqueFd fd(open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode)));
    if (fd && fd.Get() <= STDERR_FILENO) {
        UniqueFd above(fcntl(fd.Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
        if (!above) {
            const int error = errno;
            fd.Close();
            errno = error;
        }
        return above;
    }
    return fd;
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size) noexcept {
    ssize_t read = 0;
    do {
        read = ::read(fd, buffer, size);
    } while (read < 0 && errno == EINTR);
    return read;
}

ssize_t ReadSomeAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) noexcept {
    ssize_t read = 0;
    do {
        read = pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (read < 0 && errno == EINTR);
    return read;
}

TemporaryFile::~TemporaryFile() {
    fd_.Close();
    if (!path_.empty()) unlink(path_.c_str());
}

int TemporaryFile::Create(const std::string& folder, std::string_view prefix,
                          std::string_view suffix) {
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::uint64_t number = (std::uint64_t{random()} << 32) ^ random();
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016" PRIx64, number);
        std::string path = folder + "/";
        path.append(prefix).append(digits).append(suffix);
        UniqueFd fd = OpenFd(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd) {
            fd_ = std::move(fd);
            path_ = std::move(path);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

}  // namespace ostrel
