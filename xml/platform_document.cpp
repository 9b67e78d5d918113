#include "xml/platform_document.h"

#include <memory>
#include <new>

#ifdef _WIN32
#include "xml/msxml/msxml_document.h"
namespace platform = ostrel::xml::msxml;
#else
#include "xml/libxml2/libxml2_document.h"
namespace platform = ostrel::xml::libxml2;
#endif

namespace ostrel::xml {

HResult CreatePlatformDocument(Document& document) {
    document = Document();
    std::shared_ptr<backend::DocumentImpl> created;
    const HResult result = platform::CreateDocument(created);
    if (hr::Failed(result)) return result;
    document = Document(std::move(created));
    return document ? hr::kOk : hr::kOutOfMemory;
}

}  // namespace ostrel::xml
