// What a libxml2 document keeps of the file it was loaded from, so that a save can copy that file
// byte for byte and change only what changed in the tree: the values of the root's attributes
// (and at most one attribute added after them) and the text of CDATA sections.
//
// The save's flow:
//   load  → SourceCopy (the file kept open, the scanner's spans checked against the tree)
//   save  → Plan: copyable, with the sorted byte-range edits, or not copyable with a reason
//         → Copy: the file streamed to the sink with the edits in place (fails only on I/O)
//         → or, not copyable: the tree written whole in the file's encoding.
//
// The plan is committed only when it is proven to say what the tree says:
//   - the scanner (markup_scanner.h) read the file, and its root name, each root attribute's name
//     and old value, and the count and old text of every CDATA section agree with the tree as
//     loaded (checked once, at load, reading the file's bytes);
//   - the file is still the one that was read (device, inode, size, times);
//   - a digest of the tree without the root's attributes and the numbered sections' texts is the
//     one taken at load: any other change, by any operation, makes the save write the tree whole.
// Each edit carries a guard, the digest of the bytes it replaces, checked again as they are
// copied.
//
// The document's own CDATA sections (not those of an entity's text) are numbered in file order by
// the loader's CDATA callback: section k's node holds k + 1 in _private. Nothing else uses
// _private.
#pragma once

#include <libxml/encoding.h>
#include <libxml/tree.h>
#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/posix_handles.h"
#include "base/result.h"
#include "io/safe_save.h"
#include "xml/libxml2/markup_scanner.h"

namespace ostrel::xml::libxml2 {

// One change of the file: the bytes of `span` (none, for an insertion) give way to `bytes`.
struct Edit {
    ByteSpan span;
    std::uint64_t guard = 0;  // RawDigest of the bytes replaced
    // In the file's encoding. Trap: a view, of a text of the tree (a section's text that needs no
    // conversion) or of the plan's own `texts`; valid while both are unchanged. A copy of a plan
    // still views the texts of the plan it was copied from.
    std::string_view bytes;
};

// What a save will do: copy the file with the edits (sorted, none overlapping the next), or, when
// `notCopyable` says why, write the tree whole. Made and used by one save, while the tree stays
// as it is.
struct CopyPlan {
    std::vector<Edit> edits;
    std::string notCopyable;
    std::deque<std::string> texts;  // the edits' converted bytes (a deque: they never move)
    bool copyable() const { return notCopyable.empty(); }
};

// A digest of raw bytes, for the guards (xxHash's XXH3).
std::uint64_t RawDigest(std::string_view bytes);

class SourceCopy {
  public:
    // Takes the loaded file (kept open while the document lives), its status when it was read,
    // what the scanner found in it, the name of the decoder libxml2 read it with (empty for
    // UTF-8), the document's CDATA sections in file order (numbered as said above) and the
    // document. Reads the file to check the scanner's spans against the tree.
    SourceCopy(UniqueFd file, const struct stat& status, const MarkupScanner& scanner,
               std::string encoding, const std::vector<xmlNodePtr>& sections, xmlDocPtr doc);
    SourceCopy(const SourceCopy&) = delete;
    SourceCopy& operator=(const SourceCopy&) = delete;

    // Decides, without writing anything, whether the document can be saved as a copy of the file.
    CopyPlan Plan(xmlDocPtr doc) const;
    // Writes the file with the plan's edits in place. Gives S_OK, the sink's failure, or
    // kSourceChanged when the file's bytes are not those the plan was made from; kInvalidArg,
    // before anything is written, for edits out of file order or overlapping.
    HResult Copy(const CopyPlan& plan, io::ByteSink& sink) const;

    // The encoding of a whole write, the file's own: UCS-4 in the file's byte order whatever it
    // declares (libxml2's "UCS-4" is big-endian), else the declared one (null for none), else
    // UTF-16 for a file of 2-byte units, else UTF-8.
    const char* WholeWriteEncoding(const char* declared) const;

  private:
    // A CDATA section of the file and of the tree.
    struct Section {
        ByteSpan span;            // its content in the file
        LineEnd lineEnd;          // its own first line end, else the file's
        xmlNodePtr node;          // holds its index + 1 in _private
        std::uint64_t oldDigest;  // RawDigest of its text as the tree had it at load
        std::uint64_t guard;      // RawDigest of its bytes in the file
    };
    // A root attribute at load, with the raw bytes of its value.
    struct RootAttribute {
        std::string name;
        std::string value;
        ByteSpan raw;
    };

    std::string CheckRoot(const MarkupScanner& scanner, xmlNodePtr root);
    std::string CheckSections(const MarkupScanner& scanner, const std::vector<xmlNodePtr>& nodes);
    std::string PlanRoot(xmlNodePtr root, CopyPlan& plan) const;
    std::string PlanSections(CopyPlan& plan) const;
    // Whether the file is UTF-8: 8-bit units that libxml2 read without a decoder.
    bool IsUtf8() const;
    // Whether the raw bytes of a text are the text itself: UTF-8 without CR.
    bool IsOwnText(std::string_view bytes) const;
    bool Encode(std::string_view text, std::string& bytes) const;
    bool Decode(std::string_view bytes, std::string& text) const;

    UniqueFd file_;
    struct stat status_;
    std::string encoding_;
    // libxml2's converter of an 8-bit encoding other than UTF-8; null for the others.
    std::unique_ptr<xmlCharEncodingHandler, int (*)(xmlCharEncodingHandler*)> handler_{
        nullptr, xmlCharEncCloseFunc};
    int unitWidth_;
    bool bigEndian_;
    std::vector<Section> sections_;
    std::vector<RootAttribute> rootAttributes_;  // as the tree has them, in order
    std::uint64_t rootInsertion_ = 0;
    std::uint64_t treeDigest_ = 0;
    std::string notCopyable_;  // why the file can never be copied; empty when it can
};

}  // namespace ostrel::xml::libxml2
