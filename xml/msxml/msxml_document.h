// The DOM backend of Windows: MSXML's DOMDocument, reached through COM.
#pragma once

#include <memory>

#include "base/result.h"
#include "xml/dom_backend.h"

namespace ostrel::xml::msxml {

// Creates a new MSXML DOMDocument {2933BF90-7B36-11D2-B20E-00C04F983E60} into `document`.
// Gives S_OK, or the failing step's code (CoCreateInstance, OleRun, the IXMLDOMDocument query)
// with `document` left empty; never raises.
// Trap: COM must already be initialised on the calling thread (CO_E_NOTINITIALIZED otherwise).
HResult CreateDocument(std::shared_ptr<backend::DocumentImpl>& document);

}  // namespace ostrel::xml::msxml
