// The document of the platform's XML service.
#pragma once

#include "base/result.h"
#include "xml/dom.h"

namespace ostrel::xml {

// A new, empty document of the platform's backend: MSXML over COM on Windows (COM must be
// initialised on the calling thread), libxml2 elsewhere. A DocumentFactory: gives S_OK with a
// document, or the failure code with `document` left empty; never raises.
HResult CreatePlatformDocument(Document& document);

}  // namespace ostrel::xml
