// The file operations on Windows. The target is written by the program itself, not by the DOM
// service, so that every save replaces the file in one step and reports a meaningful code.
#include "io/safe_save.h"
#include "io/sinks.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <string_view>

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

bool IsBlank(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c == L' ' || c == L'\t'; });
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The absolute name of the file to replace. A symbolic link is followed, so that the file it
// points to is written and the link itself stays.
HResult ResolveTarget(const std::wstring& path, std::wstring& target, DWORD& attributes) {
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

std::wstring FolderOf(const std::wstring& target) {
    const auto separator = std::find_if(target.rbegin(), target.rend(), IsSeparator);
    return std::wstring(target.begin(), separator.base());  // keeps the trailing separator
}

// False when the target is the file the content was made from and no longer leads to it as it was
// read: another program saved it meanwhile.
bool StillTheSource(const std::wstring& target, const FileSnapshot* source) {
    if (source == nullptr) return true;
    const std::optional<FileSnapshot> now = SnapshotOf(target);
    const bool isSource =
        (now && now->identity == source->identity) || PlaceOf(target) == source->place;
    return !isSource || (now && now->SameState(*source));
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
    BufferedSink sink(std::size_t{64} << 10,
                      [file](std::string_view bytes) { return WriteAll(file, bytes); });
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    if (const HResult flushed = sink.Flush(); hr::Failed(flushed)) return flushed;
    return FlushFileBuffers(file) ? hr::kOk : LastError();
}

// Fails early, before anything is written, when the existing target may not be written: no
// permission, or another program holds it open without sharing it for writing.
HResult CheckWritable(const std::wstring& target) {
    const UniqueHandle probe(CreateFileW(target.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe ? hr::kOk : LastError();
}

// The attributes of the target that its replacement takes over. ReplaceFileW merges them itself
// on Windows; Wine's only renames the files.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Puts the written file in the existing target's place. ReplaceFileW gives it the target's
// attributes, creation time, security descriptor (owner, DACL) and named streams, and fails
// rather than drop any of them (no REPLACEFILE_IGNORE_MERGE_ERRORS). No plain move stands in for
// a failed replacement: MoveFileExW would silently drop the descriptor and the streams, so the
// failure is reported with its code instead.
// The old target first moves to a backup name, removed once the new file is in place. Without
// a backup name, ERROR_UNABLE_TO_MOVE_REPLACEMENT would mean that the old target is gone while
// the new content is not in its place; with one, that error leaves both files under their own
// names, and ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (the old target under the backup name) is undone
// by moving it back. Should that move fail too, the old target is kept under the backup name:
// the user's data is never removed.
HResult ReplaceTarget(const std::wstring& target, TemporaryFile& replacement) {
    TemporaryFile backup;
    if (const DWORD error = backup.Create(FolderOf(target), kTemporaryPrefix, kTemporarySuffix);
        error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    if (!backup.Close()) return LastError();
    if (ReplaceFileW(target.c_str(), replacement.Path().c_str(), backup.Path().c_str(), 0, nullptr,
                     nullptr)) {
        replacement.Commit();
        return hr::kOk;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveFileExW(backup.Path().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        backup.Commit();
    }
    return FromWin32(error);
}

// Moves the end of the file to `size`, growing or shrinking it.
bool SetEndAt(HANDLE file, std::size_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Writes the content over the existing target, as a program saving the file directly does, for a
// folder that refuses new files (and so a temporary file) while the target may be written. The
// content is complete before the file is opened; the file grows to its new size before its first
// byte is overwritten, so that a full disk fails with the old content whole; the end is set after
// the last byte. Trap: a failure while the bytes are written leaves the file partly written.
HResult WriteInPlace(const std::wstring& target, const ContentWriter& write) {
    StringSink sink;
    if (const HResult produced = write(sink); hr::Failed(produced)) return produced;
    const std::string& content = sink.Content();

    UniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return LastError();
    if (content.size() > static_cast<ULONGLONG>(size.QuadPart) &&
        (!SetEndAt(file.Get(), content.size()) ||
         !SetFilePointerEx(file.Get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN))) {
        return LastError();
    }
    if (const HResult written = WriteAll(file.Get(), content); hr::Failed(written)) return written;
    if (!SetEndAt(file.Get(), content.size()) || !FlushFileBuffers(file.Get())) return LastError();
    return file.Close() ? hr::kOk : LastError();
}

}  // namespace

std::optional<FileSnapshot> SnapshotOf(std::wstring_view path) {
    const UniqueHandle file(CreateFileW(std::wstring(path).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.Get(), &information)) return std::nullopt;
    const auto join = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
    return FileSnapshot{
        {information.dwVolumeSerialNumber,
         join(information.nFileIndexHigh, information.nFileIndexLow)},
        join(information.nFileSizeHigh, information.nFileSizeLow),
        static_cast<std::int64_t>(join(information.ftLastWriteTime.dwHighDateTime,
                                       information.ftLastWriteTime.dwLowDateTime)),
        PlaceOf(path)};
}

HResult SaveFile(std::wstring_view path, const ContentWriter& write, const FileSnapshot* source) {
    if (IsBlank(path) || path.find(L'\0') != std::wstring_view::npos) return hr::kInvalidArg;

    std::wstring target;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (const HResult resolved = ResolveTarget(std::wstring(path), target, attributes);
        hr::Failed(resolved)) {
        return resolved;
    }
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return hr::kAccessDenied;
    }
    if (exists) {
        if (const HResult checked = CheckWritable(target); hr::Failed(checked)) return checked;
    }

    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(FolderOf(target), kTemporaryPrefix, kTemporarySuffix);
        error != ERROR_SUCCESS) {
        if (exists && error == ERROR_ACCESS_DENIED) {
            if (!StillTheSource(target, source)) return hr::kSourceChanged;
            return WriteInPlace(target, write);
        }
        return FromWin32(error);
    }
    if (const HResult written = WriteContent(temporary.Handle(), write); hr::Failed(written)) {
        return written;
    }
    if (!temporary.Close()) return LastError();
    if (!StillTheSource(target, source)) return hr::kSourceChanged;
    if (!exists) {
        // A file that appeared meanwhile is not overwritten.
        if (!MoveFileExW(temporary.Path().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return LastError();
        }
        temporary.Commit();
        return hr::kOk;
    }
    if ((attributes & kKeptAttributes) != 0 &&
        !SetFileAttributesW(temporary.Path().c_str(), attributes & kKeptAttributes)) {
        return LastError();
    }
    return ReplaceTarget(target, temporary);
}

}  // namespace ostrel::io
