// The conversion run: from the two file names to the saved target, reporting each outcome.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/host.h"
#include "xml/dom.h"

namespace ostrel::engine {

// How a run ended, for front ends that report it in other ways too (an exit status).
enum class ConversionOutcome {
    kNoDocument,       // the DOM document could not be created; nothing reported
    kMissingInput,     // the source does not exist or the target is empty; message box shown
    kLoadFailed,       // the source could not be read or parsed
    kNotProgramFile,   // the root is no Editor element
    kNoFixtureBlocks,  // no /Editor/Harness/Fixtures: nothing to convert
    kCompleted,        // converted and saved
    kSaveFailed,       // the target could not be written; it is as it was
};

// Sets the load options of a conversion on a new document: loads are synchronous, no external
// definition is fetched, and white space stays as read (and is saved back).
void ApplyLoadOptions(const xml::Document& document);

// Sets the named attribute of the element to the value, replacing one of that name.
void ReplaceAttribute(std::wstring_view name, const xml::Element& element, std::wstring_view value);

// Where a run puts the converted document: by default it saves it as the target.
using DocumentSaver =
    std::function<HResult(const xml::Document& document, const std::wstring& target)>;

// Runs one conversion with the host's two file names, on a document made by `createDocument`,
// handing the converted document to `save` (by default: saved as the target).
// Raises Error when the DOM fails unexpectedly; nothing has then been saved.
ConversionOutcome RunConversion(ConversionHost& host, xml::DocumentFactory createDocument,
                                const DocumentSaver& save = {});

}  // namespace ostrel::engine
