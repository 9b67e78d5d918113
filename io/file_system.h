// The file operations of a conversion that are not the DOM's own: the existence check of the
// source and the replacement of the target in one step.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace ostrel::io {

// True when the path names an existing file or directory (as the platform's PathFileExists).
// The empty path does not exist.
bool PathExists(std::wstring_view path);

// Receives the content of a file being written, piece by piece.
class ByteSink {
  public:
    // Appends the bytes. Gives S_OK, or the failure that ends the write.
    virtual HResult Write(std::string_view bytes) = 0;

  protected:
    ~ByteSink() = default;
};

// Produces the whole content of a file into the sink; gives S_OK or the failure that stops the
// save (a failure of the sink's, passed on, or one of its own).
using ContentWriter = std::function<HResult(ByteSink& sink)>;

// Writes what `write` produces as the whole content of the file at `path`, replacing the file in
// one step: the content goes to a new temporary file in the same folder, is flushed to the disk,
// and the temporary file then takes the target's place. On any failure the target is exactly as
// before and the temporary file is removed. An existing target keeps its permissions and owner
// (POSIX: its set-user-ID and set-group-ID bits too).
// Only when the folder refuses new files but the existing target may be written, the target is
// written in place, as a program writing the file directly would.
// Gives S_OK; E_ACCESSDENIED for a read-only target, a target that is a directory, or a folder
// that may not be written; E_INVALIDARG for an empty or blank-only name, an otherwise invalid
// name, or a folder that does not exist; another failure code otherwise (disk full is
// 0x80070070; POSIX: a save abandoned because the process was asked to stop is 0x800704c7).
// POSIX: SIGINT, SIGTERM and SIGHUP are held off while the file system is being changed; one
// that arrives meanwhile abandons the save (the temporary file is removed) and then takes its
// course. The temporary file is named ".ostrel-" with 16 hexadecimal digits and ".tmp", so that
// one left behind by a killed process is recognisable.
// Trap: a target that is a symbolic link is written through the link; the link itself stays. A
// dangling link is written through as well on POSIX (the file it names is created); Windows
// refuses it as an invalid name.
HResult WriteFileAtomically(std::wstring_view path, const ContentWriter& write);

// The same for content already at hand.
HResult WriteFileAtomically(std::wstring_view path, std::string_view bytes);

#ifndef _WIN32
// The file-system name of a path on POSIX systems: its UTF-8 bytes, where lone surrogates
// U+DC80..U+DCFF stand for the bytes that were not UTF-8 (FromUtf8 with Utf8Errors::kEscape).
std::string NativePath(std::wstring_view path);
#endif

}  // namespace ostrel::io
