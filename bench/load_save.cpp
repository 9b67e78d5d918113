// The floor of a conversion: the same backend's bare load and save of a file, with the same
// options as a conversion and nothing in between.
#include <cstdio>

#include "base/utf8.h"
#include "engine/conversion.h"
#include "xml/platform_document.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostrel-load-save SOURCE TARGET\n");
        return 2;
    }
    using namespace ostrel;
    xml::Document document;
    if (hr::Failed(xml::CreatePlatformDocument(document))) return 1;
    engine::ApplyLoadOptions(document);
    if (!document.load(FromUtf8(argv[1]))) return 1;
    return document.save(FromUtf8(argv[2])) == hr::kOk ? 0 : 1;
}
