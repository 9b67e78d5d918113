// Files for tests: a private temporary folder and whole-file reads and writes by wide name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/paths.h"

namespace ostrel::test {

using io::FsPath;

// A new empty folder, removed with everything in it when the object goes out of scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's absolute path.
    const std::wstring& path() const { return path_; }
    // The path of an entry of the folder.
    std::wstring File(std::wstring_view name) const;
    // The names of the folder's entries, sorted; for "nothing else was left here" checks.
    std::wstring Listing() const;

  private:
    std::wstring path_;
};

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadBytes(const std::wstring& path);
// Writes the bytes as the file's whole content; fails the test when it cannot.
void WriteBytes(const std::wstring& path, std::string_view bytes);
// A file of the repository's source tree (for instance L"examples/sample.vlf").
std::wstring SourceFile(std::wstring_view relative);

}  // namespace ostrel::test
