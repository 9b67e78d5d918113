// The file operations on Windows. The target is written by the program itself, not by the DOM
// service, so that every save replaces the file in one step and reports a meaningful code.
#include "io/safe_save.h"
#include "io/safe_save_steps.h"
#include "io/sinks.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/stop_requests.h"
#include "base/win32_handles.h"

namespace ostrel::io {

namespace {

// The code a failed file operation is reported by. Only failures that are about permission
// count as access denied; a file that is busy (sharing or lock violation) keeps its own code,
// which tells the user more.
HResult FromWin32(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return hr::kFail;  // a failure that set no code
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_PRIVILEGE_NOT_HELD:
            return hr::kAccessDenied;
        case ERROR_FILE_NOT_FOUND:  // the folder of a file being created
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return hr::kInvalidArg;
        default:
            return static_cast<HResult>(HRESULT_FROM_WIN32(error));
    }
}

HResult LastError() { return FromWin32(GetLastError()); }

// The temporary file's name: recognisable when a killed process leaves one behind.
constexpr wchar_t kTemporaryPrefix[] = L".ostrel-";
constexpr wchar_t kTemporarySuffix[] = L".tmp";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The absolute name of the file to replace. A symbolic link is followed, so that the file it
// points to is written and the link itself stays.
HResult ResolveLinks(const std::wstring& path, std::wstring& target, DWORD& attributes) {
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return LastError();
    target.assign(length, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), length, target.data(), nullptr);
    if (written == 0 || written >= length) return LastError();
    target.resize(written);
    if (target.empty() || IsSeparator(target.back())) return hr::kInvalidArg;  // no file name

    attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? hr::kOk : FromWin32(error);
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return hr::kOk;

    const UniqueHandle link(
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) {
        // A dangling link is refused as a name that leads nowhere: replacing it would lose it.
        const DWORD error = GetLastError();
        return FromWin32(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
    }
    const DWORD finalLength =
        GetFinalPathNameByHandleW(link.Get(), nullptr, 0, FILE_NAME_NORMALIZED);
    if (finalLength == 0) return LastError();
    std::wstring resolved(finalLength, L'\0');
    const DWORD finalWritten =
        GetFinalPathNameByHandleW(link.Get(), resolved.data(), finalLength, FILE_NAME_NORMALIZED);
    if (finalWritten == 0 || finalWritten >= finalLength) return LastError();
    resolved.resize(finalWritten);
    target = std::move(resolved);
    attributes = GetFileAttributesW(target.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? LastError() : hr::kOk;
}

// The folder of an absolute name, without a trailing separator.
std::wstring FolderOf(const std::wstring& target) {
    const auto separator = std::find_if(target.rbegin(), target.rend(), IsSeparator);
    return std::wstring(target.begin(),
                        separator == target.rend() ? target.begin() : std::prev(separator.base()));
}

// Writes all the bytes at the file's current position.
HResult WriteAll(HANDLE file, std::string_view bytes) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const DWORD size = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), size, &written, nullptr)) return LastError();
        if (written == 0) return static_cast<HResult>(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
        bytes.remove_prefix(written);
    }
    return hr::kOk;
}

// Writes the producer's content into the file and flushes it to the disk.
HResult WriteContent(HANDLE file, const ContentWriter& write) {
    // A save is abandoned at the next buffer-full when the process has been asked to stop.
    BufferedSink sink(std::size_t{64} << 10, [file](std::string_view bytes) {
        return StopRequested() ? hr::kCancelled : WriteAll(file, bytes);
    });
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    if (const HResult flushed = sink.Flush(); hr::Failed(flushed)) return flushed;
    return FlushFileBuffers(file) ? hr::kOk : LastError();
}

// Why the target cannot be written, or S_OK: a folder, a read-only file, no permission, or another
// program holds it open without sharing it for writing. Found before anything is written.
HResult CheckTarget(const std::wstring& target, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return hr::kOk;  // a new file
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return hr::kAccessDenied;
    }
    const UniqueHandle probe(CreateFileW(target.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe ? hr::kOk : LastError();
}

// True for a file with other names (hard links), which a replacement would leave with the old
// content.
bool HasOtherNames(const std::wstring& target) {
    const UniqueHandle file(CreateFileW(target.c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    return file && GetFileInformationByHandle(file.Get(), &information) &&
           information.nNumberOfLinks > 1;
}

// The attributes of the target that its replacement takes over. ReplaceFileW merges them itself
// on Windows; Wine's only renames the files.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// True for the codes of a volume that cannot replace a file in one step (some shares, FAT media).
bool IsUnsupported(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Gives the written file the target's security descriptor: its access list, and its owner and
// group where the user may give them (otherwise the user, who may write the file, stays its
// owner). A volume without descriptors (FAT) has none to keep. Fails when the access list cannot
// be copied: the new file would be open to others than the old one was.
HResult CopySecurity(const std::wstring& target, const std::wstring& replacement) {
    constexpr SECURITY_INFORMATION kAll =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(target.c_str(), kAll, nullptr, 0, &size);
    if (size == 0) {
        const DWORD error = GetLastError();
        return IsUnsupported(error) ? hr::kOk : FromWin32(error);
    }
    std::string descriptor(size, '\0');
    if (!GetFileSecurityW(target.c_str(), kAll, descriptor.data(), size, &size)) return LastError();
    if (SetFileSecurityW(replacement.c_str(), kAll, descriptor.data()) ||
        SetFileSecurityW(replacement.c_str(), DACL_SECURITY_INFORMATION, descriptor.data())) {
        return hr::kOk;
    }
    return LastError();
}

// Puts the written file in the existing target's place. ReplaceFileW gives it the target's
// attributes, creation time, security descriptor (owner, DACL) and named streams, and fails
// rather than drop any of them (no REPLACEFILE_IGNORE_MERGE_ERRORS).
// The old target first moves to a backup name, removed once the new file is in place. Without
// a backup name, ERROR_UNABLE_TO_MOVE_REPLACEMENT would mean that the old target is gone while
// the new content is not in its place; with one, that error leaves both files under their own
// names, and ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (the old target under the backup name) is undone
// by moving it back. Should that move fail too, the old target is kept under the backup name:
// the user's data is never removed.
// A volume that cannot replace (IsUnsupported) gets a move instead, once the new file has the old
// one's security descriptor (the attributes it has already): named streams are not kept there.
HResult ReplaceTarget(const std::wstring& target, TemporaryFile& replacement) {
    TemporaryFile backup;
    if (const DWORD error = backup.Create(FolderOf(target), kTemporaryPrefix, kTemporarySuffix);
        error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    if (const DWORD error = backup.Close(); error != ERROR_SUCCESS) return FromWin32(error);
    if (ReplaceFileW(target.c_str(), replacement.Path().c_str(), backup.Path().c_str(), 0, nullptr,
                     nullptr)) {
        replacement.Keep();
        return hr::kOk;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveFileExW(backup.Path().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        backup.Keep();
    }
    if (!IsUnsupported(error)) return FromWin32(error);
    if (const HResult copied = CopySecurity(target, replacement.Path()); hr::Failed(copied)) {
        return copied;
    }
    if (!MoveFileExW(replacement.Path().c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return LastError();
    }
    replacement.Keep();
    return hr::kOk;
}

// Moves the end of the file to `size`, growing or shrinking it.
bool SetEndAt(HANDLE file, std::size_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Reads the whole file from its start.
HResult ReadWhole(HANDLE file, std::string& bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return LastError();
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + done, wanted, &got, nullptr)) return LastError();
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return hr::kOk;
}

// Writes `bytes` as the file's whole content: from its start, its end set after the last byte.
HResult WriteWhole(HANDLE file, std::string_view bytes) {
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return LastError();
    if (const HResult written = WriteAll(file, bytes); hr::Failed(written)) return written;
    return SetEndAt(file, bytes.size()) && FlushFileBuffers(file) ? hr::kOk : LastError();
}

// Writes the content over the existing target, as a program saving the file directly does, for a
// folder that refuses new files (and so a temporary file) or a file with other names. The content
// is complete before the file is opened; the file grows to its new size before its first byte is
// overwritten, so that a full disk or a quota fails with the old content whole; the old bytes are
// kept and written back should the write fail anyway.
HResult WriteInPlace(const std::wstring& target, const ContentWriter& write,
                     const FileSnapshot* source) {
    StringSink sink;
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    const std::string& content = sink.Content();

    UniqueHandle file(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    std::string old;
    if (const HResult read = ReadWhole(file.Get(), old); hr::Failed(read)) return read;
    if (content.size() > old.size() && !SetEndAt(file.Get(), content.size())) return LastError();
    if (StopRequested()) return hr::kCancelled;  // nothing is overwritten yet
    if (!StillTheSource(target, source)) return hr::kSourceChanged;
    const HResult written = WriteWhole(file.Get(), content);
    if (hr::Failed(written)) {
        WriteWhole(file.Get(), old);
        return written;
    }
    return file.Close() ? hr::kOk : LastError();
}

}  // namespace

std::optional<FileSnapshot> SnapshotOf(std::wstring_view path) {
    const UniqueHandle file(CreateFileW(
        std::wstring(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.Get(), &information)) return std::nullopt;
    const auto join = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
    return FileSnapshot{{information.dwVolumeSerialNumber,
                         join(information.nFileIndexHigh, information.nFileIndexLow)},
                        join(information.nFileSizeHigh, information.nFileSizeLow),
                        static_cast<std::int64_t>(join(information.ftLastWriteTime.dwHighDateTime,
                                                       information.ftLastWriteTime.dwLowDateTime)),
                        PlaceOf(path)};
}

HResult SaveFile(std::wstring_view path, const ContentWriter& write, const FileSnapshot* source) {
    if (IsBlankName(path) || path.find(L'\0') != std::wstring_view::npos) return hr::kInvalidArg;

    std::wstring target;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (const HResult resolved = ResolveLinks(std::wstring(path), target, attributes);
        hr::Failed(resolved)) {
        return resolved;
    }
    if (const HResult checked = CheckTarget(target, attributes); hr::Failed(checked)) {
        return checked;
    }
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // From here the file system changes: a stop request waits until it is consistent again.
    const StopRequestsHeld held;
    if (exists && HasOtherNames(target)) return WriteInPlace(target, write, source);
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(FolderOf(target), kTemporaryPrefix, kTemporarySuffix);
        error != ERROR_SUCCESS) {
        if (exists && error == ERROR_ACCESS_DENIED) return WriteInPlace(target, write, source);
        return FromWin32(error);
    }
    if (const HResult written = WriteContent(temporary.Handle(), write); hr::Failed(written)) {
        return written;
    }
    if (const DWORD error = temporary.Close(); error != ERROR_SUCCESS) return FromWin32(error);
    if (StopRequested()) return hr::kCancelled;
    if (!StillTheSource(target, source)) return hr::kSourceChanged;
    if (!exists) {
        // A file that appeared meanwhile is not overwritten.
        if (!MoveFileExW(temporary.Path().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? hr::kFileExists
                                                                               : FromWin32(error);
        }
        temporary.Keep();
        return hr::kOk;
    }
    if ((attributes & kKeptAttributes) != 0 &&
        !SetFileAttributesW(temporary.Path().c_str(), attributes & kKeptAttributes)) {
        return LastError();
    }
    return ReplaceTarget(target, temporary);
}

}  // namespace ostrel::io
