#include "xml/libxml2/libxml2_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/error.h"
#include "base/utf8.h"
#include "io/safe_save.h"
#include "io/sinks.h"
#include "xml/libxml2/attribute_text.h"
#include "xml/libxml2/libxml2_reader.h"
#include "xml/libxml2/libxml2_support.h"
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
    // The name of one of its elements or attributes as written in the file. Each name of the
    // document's dictionary is made wide once: the dictionary's strings live as long as the
    // document, so that such a name's address stands for it.
    std::wstring QualifiedNameOf(xmlNodePtr node) {
        if (node->ns != nullptr && node->ns->prefix != nullptr) return QualifiedName(node);
        if (const auto known = names_.find(node->name); known != names_.end()) {
            return known->second;
        }
        std::wstring name = Wide(node->name);
        // xmlDictOwns gives -1 for a document without a dictionary.
        if (doc_ != nullptr && node->doc == doc_ && xmlDictOwns(doc_->dict, node->name) == 1) {
            names_.emplace(node->name, name);
        }
        return name;
    }

  private:
    xmlDocPtr doc_;
    std::unique_ptr<SourceCopy> source_;  // freed before the document it refers to
    std::unique_ptr<const io::FileSnapshot> file_;
    std::unordered_set<xmlAttrPtr> detached_;
    std::unordered_map<const xmlChar*, std::wstring> names_;
};

class Libxml2Document;

std::shared_ptr<backend::NodeImpl> Wrap(const std::shared_ptr<Libxml2Document>& owner,
                                        const std::shared_ptr<Tree>& tree, xmlNodePtr node);

// ---- What every kind of node shares ----

NodeKind KindOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
            return NodeKind::kElement;
        case XML_ATTRIBUTE_NODE:
            return NodeKind::kAttribute;
        case XML_TEXT_NODE:
            return NodeKind::kText;
        case XML_CDATA_SECTION_NODE:
            return NodeKind::kCDataSection;
        case XML_COMMENT_NODE:
            return NodeKind::kComment;
        case XML_DOCUMENT_NODE:
            return NodeKind::kDocument;
        default:
            return NodeKind::kOther;
    }
}

// Never "Fixture" nor "#cdata-section" for anything but an element of that name or a CDATA
// section: a processing instruction does not go by its target here.
std::wstring NameOf(Tree& tree, xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
            return tree.QualifiedNameOf(node);
        case XML_TEXT_NODE:
            return L"#text";
        case XML_CDATA_SECTION_NODE:
            return L"#cdata-section";
        case XML_COMMENT_NODE:
            return L"#comment";
        case XML_PI_NODE:
            return L"#processing-instruction";
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
            // A load bounds what entity references add to the attributes; this bound only
            // guards against what it cannot have seen.
            constexpr std::size_t kMaxSteps = std::size_t{1} << 30;
            const auto value = ExpandedValue(reinterpret_cast<xmlAttrPtr>(node), kMaxSteps);
            if (!value) RaiseError(hr::kFail, L"The attribute's value is too long to read.");
            return FromUtf8(*value);
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
        return ReportingOutOfMemory([&] { return NameOf(*tree_, node_); });
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
    NodeKind kind() const override { return NodeKind::kDocument; }
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

    // Loads are synchronous whatever is asked: the flag is kept for the document's interface.
    void putAsync(bool) override {}
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
    std::shared_ptr<NodeImpl> SelectFirst(std::wstring_view path);
    std::shared_ptr<NodeImpl> NewAttribute(std::wstring_view name);
    // Whether a save can copy the loaded file, and its edits.
    CopyPlan PlanSave() const;
    // Saves as the plan says: the copy with its edits, or the tree whole.
    HResult Write(const CopyPlan& plan, io::ByteSink& sink);
    // Writes the tree whole in the document's encoding, as libxml2 serialises it.
    HResult Serialize(io::ByteSink& sink);

    bool resolveExternals_ = true;
    bool preserveWhiteSpace_ = false;
    // The loaded tree; null while nothing is loaded.
    std::shared_ptr<Tree> tree_;
    std::shared_ptr<LoadError> lastError_;
};

bool Libxml2Document::load(std::wstring_view path) {
    // Whatever happens, the previous document is gone, as with MSXML.
    lastError_.reset();
    try {
        tree_.reset();
        LoadResult loaded = ReadDocument(path, {resolveExternals_, preserveWhiteSpace_});
        if (!loaded.doc) {
            lastError_ = std::make_shared<LoadError>(FromUtf8(loaded.reason));
            return false;
        }
        tree_ = std::make_shared<Tree>(loaded.doc.get(), std::move(loaded.source),
                                       std::move(loaded.file));
        loaded.doc.release();
        return true;
    } catch (const std::bad_alloc&) {
        tree_.reset();
        // The reason is the one thing a failed load must still say.
        try {
            lastError_ = std::make_shared<LoadError>(FromUtf8(kOutOfMemoryReason));
        } catch (const std::bad_alloc&) {
        }
        return false;
    }
}

std::shared_ptr<backend::NodeImpl> Libxml2Document::SelectFirst(std::wstring_view path) {
    const std::string expression = ToUtf8(path);
    xmlDocPtr doc = tree_ ? tree_->doc() : nullptr;
    Owned<xmlXPathContext, xmlXPathFreeContext> context(xmlXPathNewContext(doc));
    if (!context) RaiseError(hr::kOutOfMemory, L"Not enough memory for the XPath context.");
    // Errors are recorded in the context instead of being printed; what the evaluation reports
    // outside it (an unknown function) is not printed either.
    context->error = IgnoreXPathError;
    const DiagnosticsRouted silenced;

    Owned<xmlXPathCompExpr, xmlXPathFreeCompExpr> compiled(
        xmlXPathCtxtCompile(context.get(), XmlText(expression)));
    if (!compiled) RaiseXPathError(*context, path);
    if (doc == nullptr) return nullptr;

    context->node = reinterpret_cast<xmlNodePtr>(doc);
    Owned<xmlXPathObject, xmlXPathFreeObject> result(
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
    if (!tree_ || tree_->source() == nullptr) {
        CopyPlan plan;
        plan.notCopyable = "nothing was loaded from a file";
        return plan;
    }
    return tree_->source()->Plan(tree_->doc());
}

HResult Libxml2Document::Write(const CopyPlan& plan, io::ByteSink& sink) {
    // A copy of the loaded file with the changes in place, where the plan allows it; the whole
    // tree as libxml2 writes it otherwise.
    if (plan.copyable()) return tree_->source()->Copy(plan, sink);
    return Serialize(sink);
}

namespace {

// Writes the tree whole in that encoding, as libxml2 serialises it.
HResult SerializeIn(xmlDocPtr doc, const char* encoding, io::ByteSink& sink) {
    const DiagnosticsRouted silenced;
    SaveTarget target{&sink};
    // Options 0: no indentation added, the tree is written as it stands.
    xmlSaveCtxtPtr save = xmlSaveToIO(WriteToSink, nullptr, &target, encoding, 0);
    if (save == nullptr) return hr::kFail;
    const long written = xmlSaveDoc(save, doc);
    const int closed = xmlSaveClose(save);
    if (hr::Failed(target.failure)) return target.failure;
    return written < 0 || closed < 0 ? hr::kFail : hr::kOk;
}

// Whether libxml2 reads the bytes as a document again.
bool ReadsBack(const std::string& bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const DiagnosticsRouted silenced;
    const Owned<xmlDoc, xmlFreeDoc> doc(xmlReadMemory(
        bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT));
    return doc != nullptr;
}

bool IsUnicodeForm(const char* encoding) {
    const std::string_view name = encoding;
    return name == "UTF-8" || StartsWith(name, "UTF-16") || StartsWith(name, "UCS-4");
}

}  // namespace

HResult Libxml2Document::Serialize(io::ByteSink& sink) {
    if (!tree_ || tree_->doc() == nullptr) return hr::kOk;
    xmlDocPtr doc = tree_->doc();
    const char* declared = reinterpret_cast<const char*>(doc->encoding);
    const char* encoding = tree_->source() != nullptr
                               ? tree_->source()->WholeWriteEncoding(declared)
                           : declared != nullptr ? declared
                                                 : "UTF-8";
    if (IsUnicodeForm(encoding)) return SerializeIn(doc, encoding, sink);
    // Other encodings are written only when libxml2 reads the result back: its UTF-7 writer, for
    // one, escapes the '<' of the markup, and the file would no longer be XML. Such a document is
    // written in UTF-8 instead, which its declaration then names.
    io::StringSink whole;
    if (const HResult written = SerializeIn(doc, encoding, whole); hr::Failed(written)) {
        return written;
    }
    if (ReadsBack(whole.Content())) return sink.Write(whole.Content());
    return SerializeIn(doc, "UTF-8", sink);
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
