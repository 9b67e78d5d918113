// The file operations of a conversion that are not the DOM's own: the existence check of the
// source and the atomic replacement of the target.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace ostrel::io {

// True when the path names an existing file or directory (as the platform's PathFileExists).
// The empty path does not exist.
bool PathExists(std::wstring_view path);

// Writes `bytes` as the whole content of the file at `path`, atomically: the bytes go to a
// temporary file in the same folder, are flushed to the disk, and the temporary file then
// replaces the target in one step. On any failure the target is exactly as before and no
// temporary file is left.
// Gives S_OK; E_ACCESSDENIED for a read-only target, a target that is a directory, or a folder
// that may not be written; E_INVALIDARG for an empty or blank-only name, an otherwise invalid
// name, or a folder that does not exist; another failure code otherwise (disk full is
// 0x80070070).
// Trap: a target that is a symbolic link is written through the link; the link itself stays.
HResult WriteFileAtomically(std::wstring_view path, std::string_view bytes);

#ifndef _WIN32
// The file-system name of a path on POSIX systems: its UTF-8 bytes.
std::string NativePath(std::wstring_view path);
#endif

}  // namespace ostrel::io
