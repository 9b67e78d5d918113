#include "xml/dom.h"

namespace ostrel::xml {

backend::NodeImpl& Node::impl() const {
    if (!impl_) RaiseError(hr::kPointer);
    return *impl_;
}

Node Node::firstChild() const { return Node(impl().firstChild()); }

Node Node::nextSibling() const { return Node(impl().nextSibling()); }

std::wstring Node::nodeName() const { return impl().nodeName(); }

std::optional<std::wstring> Node::nodeValue() const { return impl().nodeValue(); }

Element Node::asElement() const {
    if (impl().kind() != backend::NodeKind::kElement) return Element();
    return Element(impl_);
}

CDataSection Node::asCDataSection() const {
    if (impl().kind() != backend::NodeKind::kCDataSection) return CDataSection();
    return CDataSection(impl_);
}

Document Element::ownerDocument() const { return Document(impl().ownerDocument()); }

Attribute Element::setAttributeNode(const Attribute& attribute) const {
    backend::NodeImpl& element = impl();
    return Attribute(element.setAttributeNode(attribute.impl()));
}

void Attribute::putValue(std::wstring_view value) const { impl().putValue(value); }

void CDataSection::putText(std::wstring_view text) const { impl().putText(text); }

std::optional<std::wstring> ParseError::reason() const {
    if (!impl_) RaiseError(hr::kPointer);
    return impl_->reason();
}

Document::Document(std::shared_ptr<backend::DocumentImpl> impl) noexcept : Node(std::move(impl)) {}

backend::DocumentImpl& Document::document() const {
    // Only the Document constructor stores into a Document's handle, always a DocumentImpl.
    return static_cast<backend::DocumentImpl&>(impl());
}

void Document::putAsync(bool value) const { document().putAsync(value); }

void Document::putResolveExternals(bool value) const { document().putResolveExternals(value); }

void Document::putPreserveWhiteSpace(bool value) const { document().putPreserveWhiteSpace(value); }

bool Document::load(std::wstring_view path) const { return document().load(path); }

ParseError Document::parseError() const { return ParseError(document().parseError()); }

Node Document::selectSingleNode(std::wstring_view path) const {
    return Node(document().selectSingleNode(path));
}

Attribute Document::createAttribute(std::wstring_view name) const {
    return Attribute(document().createAttribute(name));
}

std::shared_ptr<backend::DocumentImpl> Document::internalObject() const {
    return std::static_pointer_cast<backend::DocumentImpl>(impl_);
}

HResult Document::save(std::wstring_view path) const { return document().save(path); }

HResult Document::save(io::ByteSink& sink) const { return document().save(sink); }

}  // namespace ostrel::xml
