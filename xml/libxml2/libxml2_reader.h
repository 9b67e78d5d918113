// Reading a file into a libxml2 document, as the backend's load does. The file is read in blocks
// as the parser goes, never from the network, with libxml2's limits on depth, text size and
// entity expansion kept on; entity references stay references. On top of libxml2's own rules a
// file is refused when:
// - an element has more than MarkupScanner::kMaxAttributes attributes (those written, those in an
//   entity's text and the defaults of its <!ATTLIST> declarations alike), or an element type
//   declares more defaults than that;
// - what attributes add beyond the file's own bytes passes kAttributeGrowth times the file's size
//   plus kAttributeAllowance: the text that entity references stand for, the defaults added (as
//   if written out) and libxml2's work to add defaults (one for each default and attribute it is
//   compared with); or entity references in an attribute value nest deeper than kMaxEntityDepth
//   or form a loop;
// - bytes follow what the parser took (libxml2 stops at a NUL without an error): only the first
//   such byte is read, however long the rest;
// - a stop is requested (see base/stop_requests.h) while it is read;
// - memory runs out, with kOutOfMemoryReason as the reason.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "io/safe_save.h"
#include "xml/libxml2/libxml2_support.h"
#include "xml/libxml2/source_copy.h"

namespace ostrel::xml::libxml2 {

inline constexpr std::uint64_t kAttributeGrowth = 10;
inline constexpr std::uint64_t kAttributeAllowance = 1 << 20;
inline constexpr char kOutOfMemoryReason[] = "Not enough memory to read the file";

struct ReadOptions {
    bool resolveExternals = true;     // load the external DTD and add its default attributes
    bool preserveWhiteSpace = false;  // keep text nodes of white space alone
};

// What a load gives: the document and what is kept of its file, or why there is none.
struct LoadResult {
    Owned<xmlDoc, xmlFreeDoc> doc;       // null when the file was refused
    std::unique_ptr<SourceCopy> source;  // refers to the document: declared after it, freed first
    std::unique_ptr<const io::FileSnapshot> file;  // as the file was before a byte of it was read
    std::string reason;  // one line in UTF-8, set when the document is null
};

// Memory that libxml2 cannot get gives kOutOfMemoryReason; memory that this code cannot get raises
// std::bad_alloc.
LoadResult ReadDocument(std::wstring_view path, const ReadOptions& options);

}  // namespace ostrel::xml::libxml2
