// Reference-counted handles to an XML document and its nodes, named after the DOM operations the
// conversion uses. Copying a handle shares the node; the node lives while any handle holds it.
//
// An empty handle (default-constructed, or "none" returned by a lookup) is a valid value: it tests
// false and compares equal to other empty handles. Using it where an object is required (calling
// any operation on it) raises Error with E_POINTER. Every other failure of the underlying
// service is raised as Error with the service's code, except Document::load and Document::save,
// which report through their results.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/result.h"
#include "xml/dom_backend.h"

namespace ostrel::xml {

class Document;
class Element;
class CDataSection;
class Attribute;

// Any node of a document.
class Node {
  public:
    Node() noexcept = default;
    // For backends: wraps a backend node; nullptr gives an empty handle.
    explicit Node(std::shared_ptr<backend::NodeImpl> impl) noexcept : impl_(std::move(impl)) {}

    // True when the handle holds a node.
    explicit operator bool() const noexcept { return impl_ != nullptr; }
    // True when both handles hold the same backend object (or both are empty).
    bool operator==(const Node& other) const noexcept { return impl_ == other.impl_; }
    bool operator!=(const Node& other) const noexcept { return impl_ != other.impl_; }

    // First child in document order, or an empty handle.
    Node firstChild() const;
    // Next sibling in document order, or an empty handle.
    Node nextSibling() const;
    // Tag name as written, prefix included; "#cdata-section", "#text", "#comment"... otherwise.
    std::wstring nodeName() const;
    // The node's value; nullopt for nodes without one (elements, documents).
    std::optional<std::wstring> nodeValue() const;
    // The element view: an Element handle, or an empty one when the node is no element.
    // Never raises for a node of another kind.
    Element asElement() const;
    // The CDATA section view: a CDataSection handle, or an empty one for other kinds.
    CDataSection asCDataSection() const;

  protected:
    backend::NodeImpl& impl() const;  // raises E_POINTER when empty
    std::shared_ptr<backend::NodeImpl> impl_;
    friend class Element;
};

// An element node.
class Element : public Node {
  public:
    using Node::Node;
    // The document that holds the element.
    Document ownerDocument() const;
    // Attaches the attribute, replacing an attribute of the same name. Gives the replaced
    // attribute, or an empty handle when there was none.
    Attribute setAttributeNode(const Attribute& attribute) const;
};

// An attribute node.
class Attribute : public Node {
  public:
    using Node::Node;
    // Sets the attribute's value.
    void putValue(std::wstring_view value) const;
};

// A CDATA section node.
class CDataSection : public Node {
  public:
    using Node::Node;
    // Replaces the section's content; the node stays a CDATA section at its place.
    void putText(std::wstring_view text) const;
};

// Why the last load of a document failed.
class ParseError {
  public:
    ParseError() noexcept = default;
    explicit ParseError(std::shared_ptr<backend::ParseErrorImpl> impl) noexcept
        : impl_(std::move(impl)) {}
    explicit operator bool() const noexcept { return impl_ != nullptr; }
    // The reason text; nullopt when the service gives none.
    std::optional<std::wstring> reason() const;

  private:
    std::shared_ptr<backend::ParseErrorImpl> impl_;
};

// A whole document. Created by a backend's CreateDocument.
class Document : public Node {
  public:
    Document() noexcept = default;
    explicit Document(std::shared_ptr<backend::DocumentImpl> impl) noexcept;

    // Load options; set them before load.
    void putAsync(bool value) const;
    void putResolveExternals(bool value) const;
    void putPreserveWhiteSpace(bool value) const;

    // Reads and parses the file. False when it cannot be read or parsed; parseError says why.
    // Trap: a failure to read is a result here, never an exception.
    bool load(std::wstring_view path) const;
    // The error of the last load.
    ParseError parseError() const;
    // First node selected by the XPath, or an empty handle.
    Node selectSingleNode(std::wstring_view path) const;
    // A new attribute, not attached to anything.
    Attribute createAttribute(std::wstring_view name) const;
    // The backend object behind the handle, for code that wraps a backend (an adapter, a test
    // double); null for an empty handle.
    std::shared_ptr<backend::DocumentImpl> internalObject() const;

    // Writes the whole document to the file through the safe-save layer (io/safe_save.h): on any
    // failure the file is left exactly as it was. Gives the result code (S_OK, E_ACCESSDENIED,
    // E_INVALIDARG...) instead of raising.
    HResult save(std::wstring_view path) const;
    // Writes into the sink the bytes that save(path) would write, and nothing to any file.
    HResult save(io::ByteSink& sink) const;

  private:
    backend::DocumentImpl& document() const;  // raises E_POINTER when empty
};

// Creates a new, empty document of one backend; gives a failure code (never raises) and leaves
// `document` empty when the service cannot be had.
using DocumentFactory = std::function<HResult(Document& document)>;

}  // namespace ostrel::xml
