// What a libxml2 document keeps of the file it was loaded from, so that a save can copy that file
// byte for byte and change only what the conversion changed: the value of the root's attributes
// (in practice its CRC) and the text of the CDATA sections that were given new text.
#pragma once

#include <libxml/tree.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/posix_handles.h"
#include "base/result.h"
#include "io/safe_save.h"
#include "xml/libxml2/markup_scanner.h"

namespace ostrel::xml::libxml2 {

class SourceCopy {
  public:
    // What Write gives when the file cannot be copied: the document changed in another way, the
    // file changed since, or its bytes do not match the document. The caller then writes the
    // document whole instead.
    static constexpr HResult kNotCopyable = static_cast<HResult>(0xA0070001);

    // Takes the loaded file (kept open while the document lives), its status when it was read,
    // what the scanner found in it, the name of the decoder libxml2 read it with (empty for
    // UTF-8), the document's CDATA sections in file order (each holding its index + 1 in
    // _private) and the document.
    SourceCopy(UniqueFd file, const struct stat& status, const MarkupScanner& scanner,
               std::string encoding, std::vector<xmlNodePtr> sections, xmlDocPtr doc);
    SourceCopy(const SourceCopy&) = delete;
    SourceCopy& operator=(const SourceCopy&) = delete;

    // Call before a CDATA section's text changes: its old text is remembered (as a digest) so that
    // the save can check that the bytes it replaces are that text.
    void BeforeSectionChange(xmlNodePtr section);
    // Call for any change other than a CDATA section's text or an attribute of the root.
    void NoteOtherChange() { intact_ = false; }

    // Writes the file as loaded, with the root's attributes and the changed sections' text put in
    // their places (in the file's encoding, with each section's own line ends). Gives
    // kNotCopyable when that cannot be done faithfully, S_OK, or the sink's failure.
    HResult Write(io::ByteSink& sink, xmlDocPtr doc) const;

  private:
    struct Edit;
    bool RootEdit(xmlDocPtr doc, std::vector<Edit>& edits) const;

    UniqueFd file_;
    struct stat status_;
    std::string encoding_;
    int unitWidth_;
    bool bigEndian_;
    LineEnd fileLineEnd_;
    std::vector<ByteSpan> spans_;
    std::vector<LineEnd> lineEnds_;
    std::vector<xmlNodePtr> sections_;
    std::vector<std::uint64_t> originalDigests_;  // of the changed sections' old text; 0: unchanged
    std::vector<std::pair<std::string, std::string>> rootAttributes_;  // name, value at load
    std::vector<ByteSpan> rootValues_;  // the raw values of rootAttributes_, in the same order
    std::uint64_t rootInsertion_;
    bool intact_;
};

}  // namespace ostrel::xml::libxml2
