// The DOM backend over libxml2, used where MSXML is not available.
//
// Loads never fetch anything from the network and keep libxml2's limits on depth, text size and
// entity expansion, with the bounds of their own that libxml2_reader.h lists; nothing is printed
// and no libxml2 global setting is changed. A document saves
// in the encoding it was read in (UTF-8 when it declared none).
// Trap: text put into a CDATA section should be expressible in the document's encoding: libxml2
// writes any other character as a character reference, which inside a CDATA section reads back
// literally. A section text containing "]]>" is saved as two adjacent sections.
// Trap: an attribute created and never attached lives until the tree it was created for is freed
// (when the document is reloaded or released and no handle holds the tree any more).
#pragma once

#include <memory>

#include "base/result.h"
#include "xml/dom_backend.h"

namespace ostrel::xml::libxml2 {

// Creates a new, empty document. Gives E_OUTOFMEMORY (and leaves `document` as it was) when it
// cannot; never raises.
HResult CreateDocument(std::shared_ptr<backend::DocumentImpl>& document);

}  // namespace ostrel::xml::libxml2
