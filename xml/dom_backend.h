// What a DOM backend implements. The handles of dom.h forward every call here; a backend (libxml2,
// MSXML) derives from these classes. Handles never pass an empty pointer to a backend: emptiness
// is checked, and raised as E_POINTER, by the handle layer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "io/safe_save.h"

namespace ostrel::xml::backend {

enum class NodeKind { kElement, kAttribute, kText, kCDataSection, kComment, kDocument, kOther };

class DocumentImpl;

// One node of a document. Backends raise Error for failures of the underlying service.
class NodeImpl {
  public:
    virtual ~NodeImpl() = default;
    // The kind of node, for the typed views (element, CDATA section...).
    virtual NodeKind kind() const = 0;
    // First child in document order, or nullptr.
    virtual std::shared_ptr<NodeImpl> firstChild() = 0;
    // Next sibling in document order, or nullptr.
    virtual std::shared_ptr<NodeImpl> nextSibling() = 0;
    // Tag name as written (prefix included), or "#cdata-section", "#text", "#comment"...
    virtual std::wstring nodeName() = 0;
    // The node's value; nullopt for kinds that have none (element, document).
    virtual std::optional<std::wstring> nodeValue() = 0;
    // Elements only: the document that holds the node.
    virtual std::shared_ptr<DocumentImpl> ownerDocument() = 0;
    // Elements only: attaches the attribute, replacing one of the same name; gives the replaced
    // attribute or nullptr.
    virtual std::shared_ptr<NodeImpl> setAttributeNode(NodeImpl& attribute) = 0;
    // Attributes only: sets the value.
    virtual void putValue(std::wstring_view value) = 0;
    // CDATA sections only: replaces the content; the node stays a CDATA section in place.
    virtual void putText(std::wstring_view text) = 0;
};

// Why the last load failed.
class ParseErrorImpl {
  public:
    virtual ~ParseErrorImpl() = default;
    // The reason text, or nullopt when the service gives none.
    virtual std::optional<std::wstring> reason() = 0;
};

// A whole document.
class DocumentImpl : public NodeImpl {
  public:
    virtual void putAsync(bool value) = 0;
    virtual void putResolveExternals(bool value) = 0;
    virtual void putPreserveWhiteSpace(bool value) = 0;
    // Reads and parses the file; false (never an exception) when it cannot be read or parsed.
    virtual bool load(std::wstring_view path) = 0;
    // The error object of the last load.
    virtual std::shared_ptr<ParseErrorImpl> parseError() = 0;
    // First node that the XPath selects, or nullptr.
    virtual std::shared_ptr<NodeImpl> selectSingleNode(std::wstring_view path) = 0;
    // A new attribute, attached to nothing.
    virtual std::shared_ptr<NodeImpl> createAttribute(std::wstring_view name) = 0;
    // Writes the whole document to the file through io::SaveFile, giving it the snapshot of the
    // file the document was loaded from. Returns the result code instead of raising.
    virtual HResult save(std::wstring_view path) = 0;
    // Writes into the sink exactly the bytes that a save to a file would write; the sink's
    // failure, or the backend's, is the result.
    virtual HResult save(io::ByteSink& sink) = 0;
};

}  // namespace ostrel::xml::backend
