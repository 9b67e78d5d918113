#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "base/utf8.h"


namespace ostrel::test {

namespace fs = std::filesystem;

namespace {
std::wstring WidePath(const fs::path& path) { return io::WideName(path); }
}  // namespace

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("ostrel-test-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = WidePath(fs::absolute(candidate));
            return;
        }
    }
    ADD_FAILURE() << "cannot create a temporary folder";
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code error;
    // Read-only files that tests leave behind must not stop the clean-up.
    for (auto& entry : fs::recursive_directory_iterator(FsPath(path_), error)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(FsPath(path_), error);
}

std::wstring TempDir::File(std::wstring_view name) const {
    return WidePath(FsPath(path_) / FsPath(std::wstring(name)));
}

std::wstring TempDir::Listing() const {
    std::vector<std::wstring> names;
    for (auto& entry : fs::directory_iterator(FsPath(path_))) {
        names.push_back(WidePath(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    std::wstring listing;
    for (auto& name : names) listing += name + L"\n";
    return listing;
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
    std::ifstream file(FsPath(path), std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) return std::nullopt;
    return content.str();
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
    std::ofstream file(FsPath(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    ASSERT_TRUE(file.good()) << "cannot write " << ToUtf8(path);
}

std::wstring SourceFile(std::wstring_view relative) {
    return WidePath(fs::path(OSTREL_SOURCE_DIR) / FsPath(std::wstring(relative)));
}

}  // namespace ostrel::test
