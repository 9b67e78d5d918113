#include "xml/libxml2/libxml2_reader.h"

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "base/posix_handles.h"
#include "base/stop_requests.h"
#include "io/paths.h"
#include "xml/libxml2/attribute_text.h"
#include "xml/libxml2/markup_scanner.h"

namespace ostrel::xml::libxml2 {

std::string OneLine(const char* message) {
    std::string text = message != nullptr ? message : "";
    text.erase(std::min(text.find_first_of("\r\n"), text.size()));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

namespace {

void IgnoreStructuredError(void*, xmlErrorPtr) {}
void IgnoreGenericError(void*, const char*, ...) {}

}  // namespace

DiagnosticsRouted::DiagnosticsRouted(xmlStructuredErrorFunc handler, void* context) noexcept
    : structured_(xmlStructuredError),
      structuredContext_(xmlStructuredErrorContext),
      generic_(xmlGenericError),
      genericContext_(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(context, handler != nullptr ? handler : IgnoreStructuredError);
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
}

DiagnosticsRouted::~DiagnosticsRouted() {
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
    xmlSetGenericErrorFunc(genericContext_, generic_);
}

namespace {

// What one load collects as libxml2 reports it: the first error (later ones are mostly
// consequences of it), whether memory ran out, why the load refused the file on its own, and
// the document's CDATA sections in file order. Filled through the parser context's callbacks
// (of the document's context and of those libxml2 makes for an entity's text, which share its
// _private) and, for what libxml2 reports outside any context (bad bytes of an encoding, a
// buffer that cannot grow), through the thread's handler while the load runs.
struct LoadState {
    xmlParserCtxtPtr context = nullptr;  // the document's own, not an entity's
    bool seen = false;
    std::string message;
    int line = 0;
    int column = 0;
    bool outOfMemory = false;
    std::string refusal;
    std::vector<xmlNodePtr> sections;
    EntityTextMeter meter;
    std::uint64_t attributeBudget = 0;  // what attributes may still add (see ChargeAttributes)
    std::unordered_map<std::string, std::size_t> defaultsDeclared;  // by element type

    void Record(const xmlError* error) noexcept {
        if (error == nullptr || error->level < XML_ERR_ERROR) return;
        if (error->code == XML_ERR_NO_MEMORY) outOfMemory = true;
        if (seen) return;
        try {
            message = OneLine(error->message);
            line = error->line;
            column = error->int2;
            seen = true;
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }

    // Ends the parse of `parser` with `reason` (the first one given stays).
    void Refuse(xmlParserCtxtPtr parser, const char* reason) noexcept {
        if (refusal.empty()) {
            try {
                refusal = std::string(reason) + " (line " +
                          std::to_string(xmlSAX2GetLineNumber(parser)) + ")";
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
        }
        parser->wellFormed = 0;
        xmlStopParser(parser);
    }
};

LoadState* StateOf(xmlParserCtxtPtr parser) { return static_cast<LoadState*>(parser->_private); }

void RecordContextError(void* userData, xmlErrorPtr error) {
    if (LoadState* state = StateOf(static_cast<xmlParserCtxtPtr>(userData))) state->Record(error);
}

void RecordThreadError(void* userData, xmlErrorPtr error) {
    static_cast<LoadState*>(userData)->Record(error);
}

// ---- Bounds on what attributes add beyond the file's own bytes ----

// The bytes a default attribute adds, as if it were written out in the start tag.
std::uint64_t WrittenSize(const xmlChar** attribute) {
    const auto length = [](const xmlChar* text) {
        return text != nullptr ? std::strlen(reinterpret_cast<const char*>(text)) : 0;
    };
    const std::uint64_t value = static_cast<std::uint64_t>(attribute[4] - attribute[3]);
    return length(attribute[1]) + 1 + length(attribute[0]) + value + 4;  // p:name="value"
}

// Charges what an element's attributes add beyond the text of the file: libxml2's work to add the
// defaults (each is compared with the attributes before it, added or not), the defaults added
// as if written out, and the text that entity references stand for. False when the budget is
// spent.
bool ChargeAttributes(LoadState& state, xmlNodePtr element, int attributeCount, int defaultedCount,
                      int defaulted, const xmlChar** defaults, const char*& reason) {
    std::uint64_t cost = static_cast<std::uint64_t>(defaultedCount) * attributeCount;
    for (int i = 0; i < defaulted; ++i) cost += WrittenSize(defaults + 5 * i);
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        const xmlNodePtr value = attribute->children;
        if (value == nullptr || (value->next == nullptr && value->type == XML_TEXT_NODE)) continue;
        const auto referenced = state.meter.ReferencedBytes(element->doc, value);
        if (!referenced) {
            reason = "Entity references in an attribute value form a loop or nest too deeply";
            return false;
        }
        cost += std::min(*referenced, state.attributeBudget + 1);
    }
    if (cost > state.attributeBudget) {
        reason =
            "Entity references and default attributes add more than ten times the file's "
            "size to its attributes";
        return false;
    }
    state.attributeBudget -= cost;
    return true;
}

// libxml2's start of an element, bounded: the attribute count is known before the element is
// built, what its attributes add only after.
void StartElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                  const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                  int attributeCount, int defaultedCount, const xmlChar** attributes) {
    auto* parser = static_cast<xmlParserCtxtPtr>(userData);
    LoadState* state = StateOf(parser);
    // Defaults are added only when the DTD's attributes are asked for.
    const int defaulted = (parser->loadsubset & XML_COMPLETE_ATTRS) != 0 ? defaultedCount : 0;
    // Defaults count whether added or not: libxml2 has gathered them all by now.
    if (state != nullptr &&
        static_cast<std::size_t>(attributeCount) > MarkupScanner::kMaxAttributes) {
        state->Refuse(parser, "An element has more than 10000 attributes");
        return;
    }
    const xmlNodePtr parent = parser->node;
    xmlSAX2StartElementNs(userData, localName, prefix, uri, namespaceCount, namespaces,
                          attributeCount, defaultedCount, attributes);
    if (state == nullptr || parser->node == parent || parser->node == nullptr) return;
    const char* reason = nullptr;
    const xmlChar** defaults = attributes + 5 * (attributeCount - defaultedCount);
    if (!ChargeAttributes(*state, parser->node, attributeCount, defaultedCount, defaulted, defaults,
                          reason)) {
        state->Refuse(parser, reason);
    }
}

// libxml2 compares each default attribute of an element type with those declared before it, and
// each element with all of them: their number is bounded as that of an element's attributes.
void DeclareAttribute(void* userData, const xmlChar* element, const xmlChar* name, int type,
                      int defaultKind, const xmlChar* defaultValue, xmlEnumerationPtr values) {
    auto* parser = static_cast<xmlParserCtxtPtr>(userData);
    xmlSAX2AttributeDecl(userData, element, name, type, defaultKind, defaultValue, values);
    LoadState* state = StateOf(parser);
    if (state == nullptr || defaultValue == nullptr || defaultKind == XML_ATTRIBUTE_IMPLIED ||
        defaultKind == XML_ATTRIBUTE_REQUIRED) {
        return;
    }
    try {
        if (++state->defaultsDeclared[reinterpret_cast<const char*>(element)] >
            MarkupScanner::kMaxAttributes) {
            state->Refuse(parser, "An element type declares more than 10000 default attributes");
        }
    } catch (const std::bad_alloc&) {
        state->outOfMemory = true;
        parser->wellFormed = 0;
        xmlStopParser(parser);
    }
}

// libxml2 says nothing when it has no memory to keep a declared entity: a later reference would
// then be reported as one to an undeclared entity.
void DeclareEntity(void* userData, const xmlChar* name, int type, const xmlChar* publicId,
                   const xmlChar* systemId, xmlChar* content) {
    auto* parser = static_cast<xmlParserCtxtPtr>(userData);
    xmlSAX2EntityDecl(userData, name, type, publicId, systemId, content);
    const bool parameter =
        type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY;
    const xmlEntity* declared = parameter ? xmlGetParameterEntity(parser->myDoc, name)
                                          : xmlGetDocEntity(parser->myDoc, name);
    LoadState* state = StateOf(parser);
    if (declared == nullptr && state != nullptr) {
        state->outOfMemory = true;
        parser->wellFormed = 0;
        xmlStopParser(parser);
    }
}

// libxml2 appends a CDATA section to one that ends just before it. Here every section of the file
// stays a node of its own, as in the file: a fixture's second section must never be merged
// into its block and rewritten with it. The document's own sections (not those of an entity's
// text) are numbered in file order, for a save that copies the file.
void AddCDataSection(void* userData, const xmlChar* value, int length) {
    auto* parser = static_cast<xmlParserCtxtPtr>(userData);
    if (parser->node == nullptr) return;  // outside the root element: not well-formed anyway
    xmlNodePtr section = xmlNewCDataBlock(parser->myDoc, value, length);
    if (section == nullptr || xmlAddChild(parser->node, section) == nullptr) {
        // Out of memory: the load fails rather than lose a section.
        xmlFreeNode(section);
        if (LoadState* state = StateOf(parser)) state->outOfMemory = true;
        parser->wellFormed = 0;
        xmlStopParser(parser);
        return;
    }
    LoadState* state = StateOf(parser);
    if (state == nullptr || state->context != parser) return;
    try {
        state->sections.push_back(section);
        section->_private = reinterpret_cast<void*>(state->sections.size());
    } catch (const std::bad_alloc&) {
        state->outOfMemory = true;
        parser->wellFormed = 0;
        xmlStopParser(parser);
    }
}

std::string DescribeParseFailure(const LoadState& state, const xmlError& last) {
    std::string message = state.seen ? state.message : OneLine(last.message);
    const int line = state.seen ? state.line : last.line;
    const int column = state.seen ? state.column : last.int2;
    if (message.empty()) message = "The file is not a well-formed XML document";
    if (line > 0) {
        message += " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
    }
    return message;
}

std::string DescribeOpenFailure(int error) {
    return "Cannot open the file: " + std::generic_category().message(error);
}

// ---- The file's bytes ----

// The file as the parser reads it: every block passes the markup scanner first, which may refuse
// the file before the parser sees the block. A stop request ends the reading.
struct SourceReader {
    int fd;
    MarkupScanner scanner;
    std::uint64_t delivered = 0;
    bool stopped = false;
};

int ReadSource(void* context, char* buffer, int length) {
    auto* reader = static_cast<SourceReader*>(context);
    if (StopRequested()) {
        reader->stopped = true;
        return -1;
    }
    const ssize_t read = ReadSome(reader->fd, buffer, static_cast<std::size_t>(length));
    if (read < 0) return -1;
    reader->delivered += static_cast<std::uint64_t>(read);
    if (!reader->scanner.Feed({buffer, static_cast<std::size_t>(read)})) return -1;
    return static_cast<int>(read);
}

// Whether the parser took every byte of the file: a document ends with its root element and what
// may follow it, and libxml2 ends its reading at a NUL without an error. A byte beyond the last
// one it took (read or not yet) means the file was not read whole; only one such byte is read.
bool AllBytesTaken(xmlParserCtxtPtr context, const SourceReader& reader) {
    const long consumed = xmlByteConsumed(context);
    if (consumed < 0 || static_cast<std::uint64_t>(consumed) != reader.delivered) return false;
    char next;
    return ReadSome(reader.fd, &next, 1) == 0;
}

const char* DecoderName(xmlParserCtxtPtr context) {
    const xmlCharEncodingHandler* decoder =
        context->input != nullptr && context->input->buf ? context->input->buf->encoder : nullptr;
    return decoder != nullptr && decoder->name != nullptr ? decoder->name : "";
}

int ParseOptions(const ReadOptions& options) {
    // Never XML_PARSE_NOENT or XML_PARSE_HUGE: entity references stay references and libxml2's
    // limits on depth, text size and entity expansion stay on. Small text nodes (the white
    // space between elements) are stored inside their node to save memory.
    int flags = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
    if (!options.preserveWhiteSpace) flags |= XML_PARSE_NOBLANKS;
    if (options.resolveExternals) flags |= XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR;
    return flags;
}

// Why a parse that ended gave no document, or none that can be kept; empty when it can.
std::string Refusal(const LoadState& state, const SourceReader& reader, xmlParserCtxtPtr context,
                    xmlDocPtr doc) {
    if (state.outOfMemory || context->errNo == XML_ERR_NO_MEMORY) return kOutOfMemoryReason;
    if (reader.stopped) return "The file was not read whole: a stop was requested";
    if (!reader.scanner.refusal().empty()) return reader.scanner.refusal();
    if (!state.refusal.empty()) return state.refusal;
    // MSXML refuses undeclared namespace prefixes and the like; libxml2 only reports them.
    if (doc == nullptr || context->nsWellFormed == 0) {
        return DescribeParseFailure(state, context->lastError);
    }
    if (!AllBytesTaken(context, reader)) {
        return "The file goes on after the end of the document with bytes that cannot be read "
               "(a NUL character at byte " +
               std::to_string(xmlByteConsumed(context)) + ")";
    }
    return {};
}

}  // namespace

LoadResult ReadDocument(std::wstring_view path, const ReadOptions& options) {
    LoadResult result;
    const std::string nativePath = io::FsPath(path).native();
    // Non-blocking, so that a FIFO cannot stall the open; it is refused below anyway.
    UniqueFd file(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status;
    if (!file || fstat(file.Get(), &status) != 0) {
        result.reason = DescribeOpenFailure(errno);
        return result;
    }
    if (S_ISDIR(status.st_mode)) {
        result.reason = DescribeOpenFailure(EISDIR);
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.reason = "Cannot open the file: it is not a regular file";
        return result;
    }
    if (auto taken = io::SnapshotOf(file.Get(), path)) {
        result.file = std::make_unique<const io::FileSnapshot>(std::move(*taken));
    }

    LoadState state;
    const DiagnosticsRouted routed(RecordThreadError, &state);
    Owned<xmlParserCtxt, xmlFreeParserCtxt> context(xmlNewParserCtxt());
    if (!context) {
        result.reason = kOutOfMemoryReason;
        return result;
    }
    state.context = context.get();
    state.attributeBudget =
        kAttributeAllowance + kAttributeGrowth * static_cast<std::uint64_t>(status.st_size);
    context->_private = &state;
    context->sax->serror = RecordContextError;
    context->sax->cdataBlock = AddCDataSection;
    context->sax->startElementNs = StartElement;
    context->sax->attributeDecl = DeclareAttribute;
    context->sax->entityDecl = DeclareEntity;
    SourceReader reader{file.Get(), {}};
    Owned<xmlDoc, xmlFreeDoc> doc(xmlCtxtReadIO(context.get(), ReadSource, nullptr, &reader,
                                                nativePath.c_str(), nullptr,
                                                ParseOptions(options)));
    result.reason = Refusal(state, reader, context.get(), doc.get());
    if (!result.reason.empty()) return result;
    result.source = std::make_unique<SourceCopy>(std::move(file), status, reader.scanner,
                                                 DecoderName(context.get()),
                                                 std::move(state.sections), doc.get());
    result.doc = std::move(doc);
    return result;
}

}  // namespace ostrel::xml::libxml2
