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

TemporaryFile::~TemporaryFile() {
    fd_.Close();
    if (!path_.empty()) unlink(path_.c_str());
}

int TemporaryFile::Create(const std::string& folder, std::string_view prefix,
                          std::string_view suffix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::uint64_t number = (std::uint64_t{random()} << 32) ^ random();
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016" PRIx64, number);
        std::string path = folder + "/";
        path.append(prefix).append(digits).append(suffix);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            fd_ = UniqueFd(fd);
            path_ = std::move(path);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int TemporaryFile::CommitAs(const std::string& target) noexcept {
    if (const int error = fd_.Close(); error != 0) return error;
    if (rename(path_.c_str(), target.c_str()) != 0) return errno;
    path_.clear();
    return 0;
}

}  // namespace ostrel
