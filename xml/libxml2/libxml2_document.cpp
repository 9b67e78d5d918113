#include "xml/libxml2/libxml2_document.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <unordered_set>

#include "base/error.h"
#include "base/posix_handles.h"
#include "base/utf8.h"
#include "io/paths.h"
#include "io/safe_save.h"
#include "io/sinks.h"
#include "xml/libxml2/markup_scanner.h"
#include "xml/libxml2/source_copy.h"

namespace ostrel::xml::libxml2 {

namespace {

using backend::NodeKind;

// ---- Strings: libxml2 speaks UTF-8 ----

std::wstring Wide(const xmlChar* text) {
    if (text == nullptr) return {};
    return FromUtf8(reinterpret_cast<const char*>(text));
}

const xmlChar* XmlText(const std::string& utf8) {
    return reinterpret_cast<const xmlChar*>(utf8.c_str());
}

// The name as written in the file: prefix:local for a namespaced element or attribute.
std::wstring QualifiedName(xmlNodePtr node) {
    if (node->ns == nullptr || node->ns->prefix == nullptr) return Wide(node->name);
    return Wide(node->ns->prefix) + L":" + Wide(node->name);
}

// A libxml2 message as one line: messages end with a line feed, some carry trailing blanks, and
// some go on with a copy of the input on the next line, which is dropped.
std::string OneLine(const char* message) {
    std::string text = message != nullptr ? message : "";
    text.erase(std::min(text.find_first_of("\r\n"), text.size()));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Runs a node operation, reporting a failed allocation the way the DOM service does.
template <typename Operation>
auto ReportingOutOfMemory(Operation operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        RaiseError(hr::kOutOfMemory, L"Not enough memory to complete the operation.");
    }
}

// ---- The tree of one load ----

// A parsed document, and the attributes created for it or taken off its elements. Those are
// attached to nothing, so libxml2 does not free them with the document; they are freed here
// unless they have been attached since. Every node handle shares the tree, so a node outlives
// a reload of its document.
class Tree {
  public:
    explicit Tree(xmlDocPtr doc, std::unique_ptr<SourceCopy> source = nullptr,
                  std::unique_ptr<const io::FileSnapshot> file = nullptr) noexcept
        : doc_(doc), source_(std::move(source)), file_(std::move(file)) {}
    ~Tree() {
        source_.reset();
        for (xmlAttrPtr attribute : detached_) {
            if (attribute->parent == nullptr) xmlFreeProp(attribute);
        }
        if (doc_ != nullptr) xmlFreeDoc(doc_);
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // The document; null for the tree of a document that has loaded nothing.
    xmlDocPtr doc() const noexcept { return doc_; }
    // Takes over an attribute that may end up attached to nothing. Safe to repeat.
    void AdoptDetached(xmlAttrPtr attribute) { detached_.insert(attribute); }
    // What is kept of the loaded file for a save that copies it; null when nothing is.
    SourceCopy* source() const noexcept { return source_.get(); }
    // The file the document was read from as it was then; null when there was none.
    const io::FileSnapshot* file() const noexcept { return file_.get(); }

  private:
    xmlDocPtr doc_;
    std::unique_ptr<SourceCopy> source_;  // freed before the document it refers to
    std::unique_ptr<const io::FileSnapshot> file_;
    std::unordered_set<xmlAttrPtr> detached_;
};

class Libxml2Document;

std::shared_ptr<backend::NodeImpl> Wrap(const std::shared_ptr<Libxml2Document>& owner,
                                        const std::shared_ptr<Tree>& tree, xmlNodePtr node);

// ---- What every kind of node shares ----

NodeKind KindOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
            return NodeKind::Element;
        case XML_ATTRIBUTE_NODE:
            return NodeKind::Attribute;
        case XML_TEXT_NODE:
            return NodeKind::Text;
        case XML_CDATA_SECTION_NODE:
            return NodeKind::CDataSection;
        case XML_COMMENT_NODE:
            return NodeKind::Comment;
        case XML_DOCUMENT_NODE:
            return NodeKind::Document;
        default:
            return NodeKind::Other;
    }
}

// Never "Fixture" nor "#cdata-section" for anything but an element of that name or a CDATA
// section: a processing instruction does not go by its target here.
std::wstring NameOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
            return QualifiedName(node);
        case XML_TEXT_NODE:
            return L"#text";
        case XML_CDATA_SECTION_NODE:
            return L"#cdata-section";
        case XML_COMMENT_NODE:
            return L"#comment";
        case XML_PI_NODE:
            return L"#processing-instruction";
        case XML_DOCUMENT_NODE:
            return L"#document";
        case XML_DTD_NODE:
            return L"#document-type";
        case XML_ENTITY_REF_NODE:
            return L"#entity-reference";
        default:
            return L"#node";
    }
}

std::optional<std::wstring> ValueOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            return Wide(node->content);
        case XML_ATTRIBUTE_NODE: {
            // The value of the text (and entity reference) children.
            std::unique_ptr<xmlChar, decltype(xmlFree)> value(xmlNodeGetContent(node), xmlFree);
            if (value == nullptr) {
                RaiseError(hr::kOutOfMemory, L"Not enough memory to read the attribute.");
            }
            return Wide(value.get());
        }
        default:
            return std::nullopt;
    }
}

// The children the DOM shows: those of elements, attributes and the document. An entity
// reference's children belong to the entity's declaration and are not shown.
xmlNodePtr FirstChildOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        case XML_DOCUMENT_NODE:
            return node->children;
        default:
            return nullptr;
    }
}

// An attribute has no siblings in the DOM: the attributes of an element are not its children.
xmlNodePtr NextSiblingOf(xmlNodePtr node) {
    return node->type == XML_ATTRIBUTE_NODE ? nullptr : node->next;
}

xmlAttrPtr FindAttribute(xmlNodePtr element, const std::wstring& name) {
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (QualifiedName(reinterpret_cast<xmlNodePtr>(attribute)) == name) return attribute;
    }
    return nullptr;
}

// Puts `attribute` at the place of `replaced` in the element's attribute list, or at its end.
void LinkAttribute(xmlNodePtr element, xmlAttrPtr attribute, xmlAttrPtr replaced) {
    attribute->parent = element;
    if (replaced != nullptr) {
        attribute->prev = replaced->prev;
        attribute->next = replaced->next;
        if (replaced->prev != nullptr)
            replaced->prev->next = attribute;
        else
            element->properties = attribute;
        if (replaced->next != nullptr) replaced->next->prev = attribute;
        replaced->parent = nullptr;
        replaced->prev = nullptr;
        replaced->next = nullptr;
        return;
    }
    attribute->next = nullptr;
    attribute->prev = nullptr;
    if (element->properties == nullptr) {
        element->properties = attribute;
        return;
    }
    xmlAttrPtr last = element->properties;
    while (last->next != nullptr) last = last->next;
    last->next = attribute;
    attribute->prev = last;
}

// Replaces the value of an attribute with one text child; the value is taken literally (no
// entity references are looked for in it).
void SetAttributeValue(xmlAttrPtr attribute, const std::string& value) {
    xmlNodePtr text = xmlNewDocText(attribute->doc, XmlText(value));
    if (text == nullptr) RaiseError(hr::kOutOfMemory, L"Not enough memory to set the value.");
    if (attribute->children != nullptr) xmlFreeNodeList(attribute->children);
    text->parent = reinterpret_cast<xmlNodePtr>(attribute);
    attribute->children = text;
    attribute->last = text;
}

// ---- Nodes ----

class XmlNode final : public backend::NodeImpl {
  public:
    XmlNode(std::shared_ptr<Libxml2Document> owner, std::shared_ptr<Tree> tree,
            xmlNodePtr node) noexcept
        : owner_(std::move(owner)), tree_(std::move(tree)), node_(node) {}

    const std::shared_ptr<Tree>& tree() const noexcept { return tree_; }
    xmlNodePtr node() const noexcept { return node_; }

    NodeKind kind() const override { return KindOf(node_); }
    std::shared_ptr<NodeImpl> firstChild() override {
        return Wrap(owner_, tree_, FirstChildOf(node_));
    }
    std::shared_ptr<NodeImpl> nextSibling() override {
        return Wrap(owner_, tree_, NextSiblingOf(node_));
    }
    std::wstring nodeName() override {
        return ReportingOutOfMemory([&] { return NameOf(node_); });
    }
    std::optional<std::wstring> nodeValue() override {
        return ReportingOutOfMemory([&] { return ValueOf(node_); });
    }
    std::shared_ptr<backend::DocumentImpl> ownerDocument() override;
    std::shared_ptr<NodeImpl> setAttributeNode(NodeImpl& attribute) override;
    void putValue(std::wstring_view value) override;
    void putText(std::wstring_view text) override;

  private:
    std::shared_ptr<Libxml2Document> owner_;
    std::shared_ptr<Tree> tree_;
    xmlNodePtr node_;
};

// ---- Parse errors ----

class LoadError final : public backend::ParseErrorImpl {
  public:
    explicit LoadError(std::optional<std::wstring> reason) : reason_(std::move(reason)) {}
    std::optional<std::wstring> reason() override { return reason_; }

  private:
    std::optional<std::wstring> reason_;
};

// What one load collects as libxml2 reports it: the first error (later ones are mostly
// consequences of it) and the document's CDATA sections in file order. Filled through the parser
// context's own callbacks and, for what libxml2 reports outside any context (bad bytes of an
// encoding, failed writes), through the thread's handlers while a load or save runs, so that
// nothing is printed.
struct LoadState {
    xmlParserCtxtPtr context = nullptr;  // the document's own, not an entity's
    bool seen = false;
    std::string message;
    int line = 0;
    int column = 0;
    std::vector<xmlNodePtr> sections;

    void Record(const xmlError* error) noexcept {
        if (seen || error == nullptr || error->level < XML_ERR_ERROR) return;
        try {
            message = OneLine(error->message);
            line = error->line;
            column = error->int2;
            seen = true;
        } catch (const std::bad_alloc&) {
            // The reason falls back to the context's last error.
        }
    }
};

void RecordContextError(void* userData, xmlErrorPtr error) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    if (auto* state = static_cast<LoadState*>(context->_private)) state->Record(error);
}

void RecordThreadError(void* userData, xmlErrorPtr error) {
    if (auto* state = static_cast<LoadState*>(userData)) state->Record(error);
}

void IgnoreGenericError(void*, const char*, ...) {}

// Routes libxml2's diagnostics of this thread to `state` (or nowhere) while it lives.
class DiagnosticsRouted {
  public:
    explicit DiagnosticsRouted(LoadState* state) noexcept
        : structured_(xmlStructuredError),
          structuredContext_(xmlStructuredErrorContext),
          generic_(xmlGenericError),
          genericContext_(xmlGenericErrorContext) {
        xmlSetStructuredErrorFunc(state, RecordThreadError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    }
    ~DiagnosticsRouted() {
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
    }
    DiagnosticsRouted(const DiagnosticsRouted&) = delete;
    DiagnosticsRouted& operator=(const DiagnosticsRouted&) = delete;

  private:
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
};

// libxml2 appends a CDATA section to one that ends just before it. Here every section of the file
// stays a node of its own, as in the file: a fixture's second section must never be merged
// into its block and rewritten with it. The document's own sections (not those of an entity's
// text) are numbered in file order, for a save that copies the file.
void AddCDataSection(void* userData, const xmlChar* value, int length) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    if (context->node == nullptr) return;  // outside the root element: not well-formed anyway
    xmlNodePtr section = xmlNewCDataBlock(context->myDoc, value, length);
    if (section == nullptr || xmlAddChild(context->node, section) == nullptr) {
        // Out of memory: the load fails rather than lose a section.
        xmlFreeNode(section);
        context->wellFormed = 0;
        xmlStopParser(context);
        return;
    }
    auto* state = static_cast<LoadState*>(context->_private);
    if (state == nullptr || state->context != context) return;
    try {
        state->sections.push_back(section);
        section->_private = reinterpret_cast<void*>(state->sections.size());
    } catch (const std::bad_alloc&) {
        context->wellFormed = 0;
        xmlStopParser(context);
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

// The file as the parser reads it: every block passes the markup scanner first, which may refuse
// the file before the parser sees the block.
struct SourceReader {
    int fd;
    MarkupScanner scanner;
    std::uint64_t delivered = 0;
};

int ReadSource(void* context, char* buffer, int length) {
    auto* reader = static_cast<SourceReader*>(context);
    ssize_t read = 0;
    do {
        read = ::read(reader->fd, buffer, static_cast<std::size_t>(length));
    } while (read < 0 && errno == EINTR);
    if (read < 0) return -1;
    reader->delivered += static_cast<std::uint64_t>(read);
    if (!reader->scanner.Feed({buffer, static_cast<std::size_t>(read)})) return -1;
    return static_cast<int>(read);
}

// The bytes of the file that the parser did not take: a document ends with its root element and
// what may follow it, so any byte beyond that (after a NUL, which ends libxml2's reading without
// an error) means the file was not read whole.
bool AllBytesTaken(xmlParserCtxtPtr context, SourceReader& reader) {
    char rest[4096];
    std::uint64_t total = reader.delivered;
    for (ssize_t read; (read = ::read(reader.fd, rest, sizeof rest)) != 0;) {
        if (read < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        total += static_cast<std::uint64_t>(read);
    }
    const long consumed = xmlByteConsumed(context);
    return consumed >= 0 && static_cast<std::uint64_t>(consumed) == total;
}

// ---- Files ----

struct ParserContextDeleter {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextDeleter>;

struct DocDeleter {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using OwnedDoc = std::unique_ptr<xmlDoc, DocDeleter>;

// A file read as UTF-16 by its byte order mark, without a declaration, records no encoding;
// saving it in UTF-16 again needs one.
void RememberDetectedEncoding(xmlParserCtxtPtr context, xmlDocPtr doc) {
    if (doc->encoding != nullptr || context->input == nullptr || context->input->buf == nullptr)
        return;
    const xmlCharEncodingHandler* encoder = context->input->buf->encoder;
    if (encoder == nullptr || encoder->name == nullptr) return;
    if (std::strncmp(encoder->name, "UTF-16", 6) == 0) {
        doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-16"));
    }
}

// ---- Saving ----

// Where libxml2's serialisation writes: the file's sink, and the first failure it gave.
struct SaveTarget {
    io::ByteSink* sink;
    HResult failure = hr::kOk;
};

int WriteToSink(void* context, const char* buffer, int length) {
    auto* target = static_cast<SaveTarget*>(context);
    try {
        target->failure = target->sink->Write({buffer, static_cast<std::size_t>(length)});
    } catch (const std::bad_alloc&) {
        target->failure = hr::kOutOfMemory;
    }
    return hr::Failed(target->failure) ? -1 : length;
}

// ---- XPath ----

void IgnoreXPathError(void*, xmlErrorPtr) {}

struct XPathContextDeleter {
    void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct XPathCompiledDeleter {
    void operator()(xmlXPathCompExprPtr expression) const { xmlXPathFreeCompExpr(expression); }
};
struct XPathObjectDeleter {
    void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};

[[noreturn]] void RaiseXPathError(const xmlXPathContext& context, std::wstring_view path) {
    std::wstring description = L"Invalid XPath expression \"" + std::wstring(path) + L"\"";
    const std::string message = OneLine(context.lastError.message);
    if (!message.empty()) description += L": " + FromUtf8(message);
    RaiseError(hr::kFail, description);
}

// ---- The document ----

class Libxml2Document final : public backend::DocumentImpl,
                              public std::enable_shared_from_this<Libxml2Document> {
  public:
    NodeKind kind() const override { return NodeKind::Document; }
    std::shared_ptr<NodeImpl> firstChild() override {
        if (!tree_ || tree_->doc() == nullptr) return nullptr;
        return Wrap(shared_from_this(), tree_, tree_->doc()->children);
    }
    std::shared_ptr<NodeImpl> nextSibling() override { return nullptr; }
    std::wstring nodeName() override { return L"#document"; }
    std::optional<std::wstring> nodeValue() override { return std::nullopt; }
    std::shared_ptr<DocumentImpl> ownerDocument() override { return nullptr; }
    std::shared_ptr<NodeImpl> setAttributeNode(NodeImpl&) override {
        RaiseError(hr::kFail, L"A document has no attributes.");
    }
    void putValue(std::wstring_view) override {
        RaiseError(hr::kFail, L"A document has no value.");
    }
    void putText(std::wstring_view) override {
        RaiseError(hr::kFail, L"The text of a document cannot be set.");
    }

    void putAsync(bool value) override { async_ = value; }
    void putResolveExternals(bool value) override { resolveExternals_ = value; }
    void putPreserveWhiteSpace(bool value) override { preserveWhiteSpace_ = value; }

    bool load(std::wstring_view path) override;
    std::shared_ptr<backend::ParseErrorImpl> parseError() override {
        if (!lastError_) return std::make_shared<LoadError>(std::nullopt);
        return lastError_;
    }
    std::shared_ptr<NodeImpl> selectSingleNode(std::wstring_view path) override {
        return ReportingOutOfMemory([&] { return SelectFirst(path); });
    }
    std::shared_ptr<NodeImpl> createAttribute(std::wstring_view name) override {
        return ReportingOutOfMemory([&] { return NewAttribute(name); });
    }
    HResult save(std::wstring_view path) override;
    HResult save(io::ByteSink& sink) override;

  private:
    int ParseOptions() const;
    // The tree of the file, or null with `reason` set.
    std::shared_ptr<Tree> Parse(std::wstring_view path, std::string& reason);
    std::shared_ptr<NodeImpl> SelectFirst(std::wstring_view path);
    std::shared_ptr<NodeImpl> NewAttribute(std::wstring_view name);
    // Whether a save can copy the loaded file, and its edits.
    CopyPlan PlanSave() const;
    // Saves as the plan says: the copy with its edits, or the tree whole.
    HResult Write(const CopyPlan& plan, io::ByteSink& sink);
    // Writes the tree whole in the document's encoding, as libxml2 serialises it.
    HResult Serialize(io::ByteSink& sink);

    // Loads are synchronous whatever this says; it is kept for the document's interface.
    bool async_ = true;
    bool resolveExternals_ = true;
    bool preserveWhiteSpace_ = false;
    // The loaded tree; null while nothing is loaded.
    std::shared_ptr<Tree> tree_;
    std::shared_ptr<LoadError> lastError_;
};

int Libxml2Document::ParseOptions() const {
    // Never XML_PARSE_NOENT or XML_PARSE_HUGE: entity references stay references and libxml2's
    // limits on depth, text size and entity expansion stay on. Small text nodes (the white
    // space between elements) are stored inside their node to save memory.
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
    if (!preserveWhiteSpace_) options |= XML_PARSE_NOBLANKS;
    if (resolveExternals_) options |= XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR;
    return options;
}

std::shared_ptr<Tree> Libxml2Document::Parse(std::wstring_view path, std::string& reason) {
    const std::string nativePath = io::FsPath(path).native();
    // Non-blocking, so that a FIFO cannot stall the open; it is refused below anyway.
    UniqueFd file(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status;
    if (!file || fstat(file.Get(), &status) != 0) {
        reason = DescribeOpenFailure(errno);
        return nullptr;
    }
    if (S_ISDIR(status.st_mode)) {
        reason = DescribeOpenFailure(EISDIR);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "Cannot open the file: it is not a regular file";
        return nullptr;
    }
    // As the file is before a byte of it is read: a later change shows against this.
    std::unique_ptr<const io::FileSnapshot> snapshot;
    if (auto taken = io::SnapshotOf(file.Get(), path)) {
        snapshot = std::make_unique<const io::FileSnapshot>(std::move(*taken));
    }

    ParserContext context(xmlNewParserCtxt());
    if (!context) {
        reason = "Not enough memory to read the file";
        return nullptr;
    }
    LoadState state;
    state.context = context.get();
    context->_private = &state;
    context->sax->serror = RecordContextError;
    context->sax->cdataBlock = AddCDataSection;
    const DiagnosticsRouted routed(&state);
    // The file is read in blocks as the parser goes: it is never held whole in memory.
    SourceReader reader{file.Get(), {}};
    OwnedDoc doc(xmlCtxtReadIO(context.get(), ReadSource, nullptr, &reader, nativePath.c_str(),
                               nullptr, ParseOptions()));
    if (!reader.scanner.refusal().empty()) {
        reason = reader.scanner.refusal();
        return nullptr;
    }
    // MSXML refuses undeclared namespace prefixes and the like; libxml2 only reports them.
    if (doc && context->nsWellFormed == 0) doc.reset();
    if (!doc) {
        reason = DescribeParseFailure(state, context->lastError);
        return nullptr;
    }
    if (!AllBytesTaken(context.get(), reader)) {
        reason =
            "The file goes on after the end of the document with bytes that cannot be read "
            "(a NUL character at byte " +
            std::to_string(xmlByteConsumed(context.get())) + ")";
        return nullptr;
    }
    RememberDetectedEncoding(context.get(), doc.get());
    const xmlCharEncodingHandler* decoder =
        context->input != nullptr && context->input->buf != nullptr ? context->input->buf->encoder
                                                                    : nullptr;
    auto source = std::make_unique<SourceCopy>(
        std::move(file), status, reader.scanner,
        decoder != nullptr && decoder->name != nullptr ? decoder->name : "",
        std::move(state.sections), doc.get());
    auto tree = std::make_shared<Tree>(doc.get(), std::move(source), std::move(snapshot));
    doc.release();
    return tree;
}

bool Libxml2Document::load(std::wstring_view path) {
    // Whatever happens, the previous document is gone, as with MSXML.
    lastError_.reset();
    try {
        std::string reason;
        tree_ = Parse(path, reason);
        if (tree_) return true;
        lastError_ = std::make_shared<LoadError>(FromUtf8(reason));
        return false;
    } catch (const std::bad_alloc&) {
        tree_.reset();
        // The reason is the one thing a failed load must still say.
        try {
            lastError_ = std::make_shared<LoadError>(L"Not enough memory to read the file");
        } catch (const std::bad_alloc&) {
        }
        return false;
    }
}

std::shared_ptr<backend::NodeImpl> Libxml2Document::SelectFirst(std::wstring_view path) {
    const std::string expression = ToUtf8(path);
    xmlDocPtr doc = tree_ ? tree_->doc() : nullptr;
    std::unique_ptr<xmlXPathContext, XPathContextDeleter> context(xmlXPathNewContext(doc));
    if (!context) RaiseError(hr::kOutOfMemory, L"Not enough memory for the XPath context.");
    // Errors are recorded in the context instead of being printed.
    context->error = IgnoreXPathError;

    std::unique_ptr<xmlXPathCompExpr, XPathCompiledDeleter> compiled(
        xmlXPathCtxtCompile(context.get(), XmlText(expression)));
    if (!compiled) RaiseXPathError(*context, path);
    if (doc == nullptr) return nullptr;

    context->node = reinterpret_cast<xmlNodePtr>(doc);
    std::unique_ptr<xmlXPathObject, XPathObjectDeleter> result(
        xmlXPathCompiledEval(compiled.get(), context.get()));
    if (!result) RaiseXPathError(*context, path);
    if (result->type != XPATH_NODESET) {
        RaiseError(hr::kFail,
                   L"The expression \"" + std::wstring(path) + L"\" does not select nodes.");
    }
    xmlNodeSetPtr nodes = result->nodesetval;
    if (nodes == nullptr || nodes->nodeNr == 0) return nullptr;
    xmlXPathNodeSetSort(nodes);
    xmlNodePtr first = nodes->nodeTab[0];
    if (first == reinterpret_cast<xmlNodePtr>(doc)) return shared_from_this();
    // Namespace nodes are copies that die with the result: there is nothing to hand out.
    if (first->type == XML_NAMESPACE_DECL) {
        RaiseError(hr::kFail, L"Namespace nodes cannot be selected.");
    }
    return Wrap(shared_from_this(), tree_, first);
}

std::shared_ptr<backend::NodeImpl> Libxml2Document::NewAttribute(std::wstring_view name) {
    const std::string utf8 = ToUtf8(name);
    if (utf8.empty() || xmlValidateName(XmlText(utf8), 0) != 0) {
        RaiseError(hr::kFail, L"\"" + std::wstring(name) + L"\" is not a valid attribute name.");
    }
    if (!tree_) tree_ = std::make_shared<Tree>(nullptr);
    xmlAttrPtr attribute = xmlNewDocProp(tree_->doc(), XmlText(utf8), nullptr);
    if (attribute == nullptr) {
        RaiseError(hr::kOutOfMemory, L"Not enough memory to create the attribute.");
    }
    try {
        tree_->AdoptDetached(attribute);
    } catch (const std::bad_alloc&) {
        xmlFreeProp(attribute);
        throw;
    }
    return Wrap(shared_from_this(), tree_, reinterpret_cast<xmlNodePtr>(attribute));
}

HResult Libxml2Document::save(std::wstring_view path) {
    const CopyPlan plan = PlanSave();
    return io::SaveFile(
        path, [&](io::ByteSink& sink) { return Write(plan, sink); },
        tree_ ? tree_->file() : nullptr);
}

HResult Libxml2Document::save(io::ByteSink& sink) { return Write(PlanSave(), sink); }

CopyPlan Libxml2Document::PlanSave() const {
    if (!tree_ || tree_->source() == nullptr) return {{}, "nothing was loaded from a file"};
    return tree_->source()->Plan(tree_->doc());
}

HResult Libxml2Document::Write(const CopyPlan& plan, io::ByteSink& sink) {
    // A copy of the loaded file with the changes in place, where the plan allows it; the whole
    // tree as libxml2 writes it otherwise.
    if (plan.copyable()) return tree_->source()->Copy(plan, sink);
    return Serialize(sink);
}

HResult Libxml2Document::Serialize(io::ByteSink& sink) {
    if (!tree_ || tree_->doc() == nullptr) return hr::kOk;
    xmlDocPtr doc = tree_->doc();
    const char* declared = reinterpret_cast<const char*>(doc->encoding);
    const char* encoding = tree_->source() != nullptr
                               ? tree_->source()->WholeWriteEncoding(declared)
                           : declared != nullptr ? declared
                                                 : "UTF-8";
    LoadState diagnostics;
    const DiagnosticsRouted routed(&diagnostics);
    SaveTarget target{&sink};
    // Options 0: no indentation added, the tree is written as it stands.
    xmlSaveCtxtPtr save = xmlSaveToIO(WriteToSink, nullptr, &target, encoding, 0);
    if (save == nullptr) return hr::kFail;
    const long written = xmlSaveDoc(save, doc);
    const int closed = xmlSaveClose(save);
    if (hr::Failed(target.failure)) return target.failure;
    return written < 0 || closed < 0 ? hr::kFail : hr::kOk;
}

// ---- Node operations that need the document ----

std::shared_ptr<backend::NodeImpl> Wrap(const std::shared_ptr<Libxml2Document>& owner,
                                        const std::shared_ptr<Tree>& tree, xmlNodePtr node) {
    if (node == nullptr) return nullptr;
    return std::make_shared<XmlNode>(owner, tree, node);
}

std::shared_ptr<backend::DocumentImpl> XmlNode::ownerDocument() { return owner_; }

std::shared_ptr<backend::NodeImpl> XmlNode::setAttributeNode(NodeImpl& attribute) {
    if (node_->type != XML_ELEMENT_NODE) {
        RaiseError(hr::kFail, L"Only an element takes attributes.");
    }
    auto* other = dynamic_cast<XmlNode*>(&attribute);
    if (other == nullptr || other->node_->type != XML_ATTRIBUTE_NODE) {
        RaiseError(hr::kInvalidArg, L"The node is not an attribute.");
    }
    if (other->tree_ != tree_) {
        RaiseError(hr::kInvalidArg, L"The attribute belongs to another document.");
    }
    auto* added = reinterpret_cast<xmlAttrPtr>(other->node_);
    if (added->parent == node_) return nullptr;
    if (added->parent != nullptr) {
        RaiseError(hr::kFail, L"The attribute is already attached to another element.");
    }
    return ReportingOutOfMemory([&]() -> std::shared_ptr<NodeImpl> {
        xmlAttrPtr replaced = FindAttribute(node_, QualifiedName(other->node_));
        // Adopted while still attached, so that nothing can fail once the lists are changed.
        if (replaced != nullptr) tree_->AdoptDetached(replaced);
        LinkAttribute(node_, added, replaced);
        return Wrap(owner_, tree_, reinterpret_cast<xmlNodePtr>(replaced));
    });
}

void XmlNode::putValue(std::wstring_view value) {
    if (node_->type != XML_ATTRIBUTE_NODE) {
        RaiseError(hr::kFail, L"Only an attribute takes a value here.");
    }
    ReportingOutOfMemory(
        [&] { SetAttributeValue(reinterpret_cast<xmlAttrPtr>(node_), ToUtf8(value)); });
}

void XmlNode::putText(std::wstring_view text) {
    if (node_->type != XML_CDATA_SECTION_NODE) {
        RaiseError(hr::kFail, L"Only a CDATA section takes its text here.");
    }
    ReportingOutOfMemory([&] {
        const std::string utf8 = ToUtf8(text);
        if (utf8.size() > static_cast<size_t>(INT_MAX)) {
            RaiseError(hr::kOutOfMemory, L"The text is too long for a CDATA section.");
        }
        xmlNodeSetContentLen(node_, XmlText(utf8), static_cast<int>(utf8.size()));
        if (!utf8.empty() && node_->content == nullptr) {
            RaiseError(hr::kOutOfMemory, L"Not enough memory to set the text.");
        }
    });
}

}  // namespace

HResult CreateDocument(std::shared_ptr<backend::DocumentImpl>& document) {
    try {
        // libxml2 reads its "initialised" flag without a lock: the first call must not race
        // with others when several conversions start at once.
        static std::once_flag initialised;
        std::call_once(initialised, xmlInitParser);
        document = std::make_shared<Libxml2Document>();
        return hr::kOk;
    } catch (const std::bad_alloc&) {
        return hr::kOutOfMemory;
    }
}

}  // namespace ostrel::xml::libxml2
