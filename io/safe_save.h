// The one way Ostrel writes a file. Every save of every front end goes through SaveFile, which
// promises:
//   1. All or nothing. The content is produced whole into a new file beside the target, flushed
//      to the disk, and then takes the target's name in one step. On any failure the target is as
//      it was and no file is left behind. Only a process killed outright (SIGKILL, a power loss)
//      can leave its temporary file, named ".ostrel-", 16 hexadecimal digits, ".tmp". A new
//      target never replaces a file that appeared under its name meanwhile (kFileExists).
//   2. The file stays what it was. The replacement takes the old file's owner, group and mode
//      (set-user-ID and set-group-ID bits included), its access-control list and its extended
//      attributes (Windows: its security descriptor, attributes and streams; where the volume
//      cannot replace a file in one step, its access list and attributes, or the save fails).
//      Where a replacement could not keep them (the file has other names, that is hard links; an
//      owner or group the user cannot give; attributes that cannot be copied) or the folder
//      refuses new files, the file is rewritten in place instead: the content is produced whole
//      first, the room is proven before the first byte changes (the file-size limit, the free
//      space, a reservation where the file system makes one; Windows: the file grows first), and
//      the old bytes are kept, to be written back should the write fail anyway. There, and only
//      there, a process killed outright during the write can leave the file partly written.
//   3. The source is still the source. When the target is the file the content was made from
//      (`source`: the same file, or the same place), the save goes on only while the name still
//      leads to that file, unchanged since it was read (device, file number, size, modification
//      time); otherwise nothing is written and the save gives kSourceChanged.
//   4. A stop request (base/stop_requests.h) is held off while the file system changes. One that
//      arrives before the new content has taken the name abandons the save (kCancelled) and then
//      takes its course. No descriptor the save opens is a standard one (0, 1 or 2), so that
//      nothing printed meanwhile can land in the file.
//   5. Names are followed: a symbolic link is written through and stays a link (a dangling one
//      too on POSIX: the file it names is created; Windows refuses it as an invalid name). A new
//      file gets the mode every new file of the user gets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "io/paths.h"

namespace ostrel::io {

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

// What a file was when it was read, to tell later whether it still is.
struct FileSnapshot {
    FileIdentity identity;
    std::uint64_t size = 0;
    std::int64_t modified = 0;    // modification time, in the platform's finest unit
    std::filesystem::path place;  // PlaceOf the name it was read by

    // The same file, with the same size and modification time.
    bool SameState(const FileSnapshot& other) const {
        return identity == other.identity && size == other.size && modified == other.modified;
    }
};

// The snapshot of the file the name leads to (links followed); nullopt when there is none.
std::optional<FileSnapshot> SnapshotOf(std::wstring_view path);
#ifndef _WIN32
// The snapshot of a file open for reading, which was opened by that name.
std::optional<FileSnapshot> SnapshotOf(int fd, std::wstring_view path);
#endif

// Saves what `write` produces as the whole content of the file at `path`, as the contract above
// says. `source`, when given, is the snapshot of the file the content was made from, taken when
// it was read. Gives S_OK; E_ACCESSDENIED for a read-only target, a target that is a directory,
// or a folder that may not be written; E_INVALIDARG for an empty or blank-only name, an otherwise
// invalid name, or a folder that does not exist; kSourceChanged, kFileExists and kCancelled as
// above; another failure code otherwise (disk full is 0x80070070, beyond the file-size limit 0x800700df).
HResult SaveFile(std::wstring_view path, const ContentWriter& write,
                 const FileSnapshot* source = nullptr);

// The same for content already at hand.
HResult SaveFile(std::wstring_view path, std::string_view bytes,
                 const FileSnapshot* source = nullptr);

}  // namespace ostrel::io
