#include "xml/msxml/msxml_document.h"

#include <windows.h>

#include <msxml2.h>
#include <objidl.h>
#include <ole2.h>

#include <comdef.h>
#include <comutil.h>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/win32_handles.h"
#include "io/safe_save.h"
#include "xml/dom_backend.h"
#include "xml/msxml/com_support.h"

// msxml2.h names these interfaces without their identifiers; __uuidof needs them.
__CRT_UUID_DECL(IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e,
                0x60)
__CRT_UUID_DECL(IXMLDOMDocument, 0x2933bf81, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMAttribute, 0x2933bf85, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMElement, 0x2933bf86, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMCDATASection, 0x2933bf8a, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMParseError, 0x3efaa426, 0x272f, 0x11d2, 0x83, 0x6f, 0x00, 0x00, 0xf8, 0x7a,
                0x77, 0x82)

namespace ostrel::xml::msxml {

namespace {

using NodePtr = ComPtr<IXMLDOMNode>;
using DocumentPtr = ComPtr<IXMLDOMDocument>;
using AttributePtr = ComPtr<IXMLDOMAttribute>;
using ElementPtr = ComPtr<IXMLDOMElement>;

// The class DOMDocument. msxml2.h maps CLSID_DOMDocument to another class, so it is named here.
constexpr CLSID kDomDocumentClass = {
    0x2933bf90, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
static_assert(CLSCTX_ALL == 0x17, "the document is created with every class context");

// The `Interface` view of an object; empty when the object lacks it (E_NOINTERFACE).
template <class Interface>
ComPtr<Interface> QueryView(IUnknown* object) {
    ComPtr<Interface> view;
    const HRESULT result = object->QueryInterface(__uuidof(Interface), view.PutVoid());
    if (result == E_NOINTERFACE) return ComPtr<Interface>();
    CheckHr(result, object, IID_IUnknown);
    return view;
}

// A view that the operation cannot do without: an empty one is a null handle (E_POINTER).
template <class Interface>
ComPtr<Interface> RequireView(IUnknown* object) {
    ComPtr<Interface> view = QueryView<Interface>(object);
    if (!view) RaiseError(E_POINTER);
    return view;
}

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

backend::NodeKind KindOf(DOMNodeType type) {
    switch (type) {
        case NODE_ELEMENT:
            return backend::NodeKind::kElement;
        case NODE_ATTRIBUTE:
            return backend::NodeKind::kAttribute;
        case NODE_TEXT:
            return backend::NodeKind::kText;
        case NODE_CDATA_SECTION:
            return backend::NodeKind::kCDataSection;
        case NODE_COMMENT:
            return backend::NodeKind::kComment;
        case NODE_DOCUMENT:
            return backend::NodeKind::kDocument;
        default:
            return backend::NodeKind::kOther;
    }
}

// What every wrapper of this backend holds: the COM node. Lets setAttributeNode reach the COM
// object behind a backend::NodeImpl of its own kind.
class ComNodeHolder {
  public:
    explicit ComNodeHolder(NodePtr node) : node_(std::move(node)) {}
    virtual ~ComNodeHolder() = default;
    IXMLDOMNode* comNode() const { return node_.Get(); }
    // Records that the service copied this attribute into `element` instead of attaching it,
    // so that later values still reach the element.
    void CopiedInto(ElementPtr element, _bstr_t name) {
        copiedInto_ = std::move(element);
        copiedName_ = std::move(name);
    }

  protected:
    NodePtr node_;
    ElementPtr copiedInto_;
    _bstr_t copiedName_;
};

// The object's identity: its IUnknown, which is the same for every interface of it.
ComPtr<IUnknown> IdentityOf(IUnknown* object) {
    ComPtr<IUnknown> identity;
    CheckHr(object->QueryInterface(IID_IUnknown, identity.PutVoid()), object, IID_IUnknown);
    return identity;
}

std::shared_ptr<backend::NodeImpl> WrapNode(NodePtr node);
std::shared_ptr<backend::DocumentImpl> WrapDocument(DocumentPtr document);

// The node operations, shared by plain nodes (Base = NodeImpl) and documents (DocumentImpl).
template <class Base>
class NodeOperations : public Base, public ComNodeHolder {
  public:
    explicit NodeOperations(NodePtr node) : ComNodeHolder(std::move(node)) {}

    backend::NodeKind kind() const override {
        DOMNodeType type = NODE_INVALID;
        CheckHr(node_->get_nodeType(&type), comNode(), __uuidof(IXMLDOMNode));
        return KindOf(type);
    }

    std::shared_ptr<backend::NodeImpl> firstChild() override {
        NodePtr child;
        CheckHr(node_->get_firstChild(child.Put()), comNode(), __uuidof(IXMLDOMNode));
        return WrapNode(std::move(child));
    }

    std::shared_ptr<backend::NodeImpl> nextSibling() override {
        NodePtr sibling;
        CheckHr(node_->get_nextSibling(sibling.Put()), comNode(), __uuidof(IXMLDOMNode));
        return WrapNode(std::move(sibling));
    }

    std::wstring nodeName() override {
        BSTR raw = nullptr;
        const HRESULT result = node_->get_nodeName(&raw);
        const _bstr_t name(raw, false);
        CheckHr(result, comNode(), __uuidof(IXMLDOMNode));
        return FromBstr(raw);
    }

    std::optional<std::wstring> nodeValue() override {
        VARIANT raw;
        VariantInit(&raw);
        const HRESULT result = node_->get_nodeValue(&raw);
        _variant_t value(raw, false);
        CheckHr(result, comNode(), __uuidof(IXMLDOMNode));
        if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return std::nullopt;
        if (V_VT(&value) != VT_BSTR) CheckHr(VariantChangeType(&value, &value, 0, VT_BSTR));
        return FromBstr(V_BSTR(&value));
    }

    std::shared_ptr<backend::DocumentImpl> ownerDocument() override {
        DocumentPtr owner;
        CheckHr(node_->get_ownerDocument(owner.Put()), comNode(), __uuidof(IXMLDOMNode));
        return WrapDocument(std::move(owner));
    }

    // Some services (Wine's) copy the attribute's value into the element instead of attaching
    // the node, and give no replaced attribute back. The replaced attribute is then a copy taken
    // before the call, and the new node remembers the element so that its later values count.
    std::shared_ptr<backend::NodeImpl> setAttributeNode(backend::NodeImpl& attribute) override {
        auto* holder = dynamic_cast<ComNodeHolder*>(&attribute);
        if (holder == nullptr) RaiseError(E_INVALIDARG);  // a node of another backend
        ElementPtr element = RequireView<IXMLDOMElement>(comNode());
        const AttributePtr added = RequireView<IXMLDOMAttribute>(holder->comNode());
        BSTR rawName = nullptr;
        const HRESULT named = added->get_nodeName(&rawName);
        _bstr_t name(rawName, false);
        CheckHr(named, added.Get(), __uuidof(IXMLDOMAttribute));

        NodePtr previous = CopyOfAttribute(element.Get(), name);
        AttributePtr replaced;
        CheckHr(element->setAttributeNode(added.Get(), replaced.Put()), element.Get(),
                __uuidof(IXMLDOMElement));
        AttributePtr current;
        CheckHr(element->getAttributeNode(name.GetBSTR(), current.Put()), element.Get(),
                __uuidof(IXMLDOMElement));
        if (current && IdentityOf(current.Get()).Get() != IdentityOf(added.Get()).Get()) {
            holder->CopiedInto(std::move(element), name);
        }
        return WrapNode(replaced ? NodePtr(std::move(replaced)) : std::move(previous));
    }

    void putValue(std::wstring_view value) override {
        const AttributePtr attribute = RequireView<IXMLDOMAttribute>(comNode());
        const _variant_t copy = ToStringVariant(value);
        CheckHr(attribute->put_value(copy), attribute.Get(), __uuidof(IXMLDOMAttribute));
        if (copiedInto_) {
            CheckHr(copiedInto_->setAttribute(copiedName_.GetBSTR(), copy), copiedInto_.Get(),
                    __uuidof(IXMLDOMElement));
        }
    }

    // Some services (Wine's) escape markup characters when they set a CDATA section's text,
    // storing "&lt;" for "<"; the content is then set as the node's value, which is stored as is.
    void putText(std::wstring_view text) override {
        const auto section = RequireView<IXMLDOMCDATASection>(comNode());
        _bstr_t copy = ToBstr(text);
        CheckHr(section->put_text(copy.GetBSTR()), section.Get(), __uuidof(IXMLDOMCDATASection));
        if (nodeValue() != text) {
            CheckHr(section->put_nodeValue(ToStringVariant(text)), section.Get(),
                    __uuidof(IXMLDOMCDATASection));
        }
    }

  private:
    // A detached copy of the element's attribute of that name, or an empty pointer.
    static NodePtr CopyOfAttribute(IXMLDOMElement* element, _bstr_t& name) {
        AttributePtr existing;
        CheckHr(element->getAttributeNode(name.GetBSTR(), existing.Put()), element,
                __uuidof(IXMLDOMElement));
        NodePtr copy;
        if (!existing) return copy;
        CheckHr(existing->cloneNode(VARIANT_TRUE, copy.Put()), existing.Get(),
                __uuidof(IXMLDOMAttribute));
        return copy;
    }
};

using MsxmlNode = NodeOperations<backend::NodeImpl>;

class MsxmlParseError : public backend::ParseErrorImpl {
  public:
    explicit MsxmlParseError(ComPtr<IXMLDOMParseError> error) : error_(std::move(error)) {}

    std::optional<std::wstring> reason() override {
        BSTR raw = nullptr;
        const HRESULT result = error_->get_reason(&raw);
        const _bstr_t reason(raw, false);
        CheckHr(result, error_.Get(), __uuidof(IXMLDOMParseError));
        return OptionalFromBstr(raw);
    }

  private:
    ComPtr<IXMLDOMParseError> error_;
};

// Hands the bytes written to a memory stream, from its start to its size, to `use`.
template <typename Use>
HRESULT WithStreamBytes(IStream* stream, Use use) {
    STATSTG status{};
    HRESULT result = stream->Stat(&status, STATFLAG_NONAME);
    if (FAILED(result)) return result;
    HGLOBAL memory = nullptr;
    result = GetHGlobalFromStream(stream, &memory);
    if (FAILED(result)) return result;
    const SIZE_T size = static_cast<SIZE_T>(status.cbSize.QuadPart);
    if (size == 0) return use(std::string_view());
    const void* data = GlobalLock(memory);
    if (data == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    result = use(std::string_view(static_cast<const char*>(data), size));
    GlobalUnlock(memory);
    return result;
}

class MsxmlDocument : public NodeOperations<backend::DocumentImpl> {
  public:
    explicit MsxmlDocument(DocumentPtr document)
        : NodeOperations(NodePtr(document.Share())), document_(std::move(document)) {}

    void putAsync(bool value) override {
        CheckHr(document_->put_async(ToVariantBool(value)), doc(), __uuidof(IXMLDOMDocument));
    }

    void putResolveExternals(bool value) override {
        CheckHr(document_->put_resolveExternals(ToVariantBool(value)), doc(),
                __uuidof(IXMLDOMDocument));
    }

    void putPreserveWhiteSpace(bool value) override {
        CheckHr(document_->put_preserveWhiteSpace(ToVariantBool(value)), doc(),
                __uuidof(IXMLDOMDocument));
    }

    bool load(std::wstring_view path) override {
        // Taken before the service reads a byte: a change made meanwhile shows against it.
        source_ = io::SnapshotOf(path);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        CheckHr(document_->load(ToStringVariant(path), &loaded), doc(), __uuidof(IXMLDOMDocument));
        return loaded == VARIANT_TRUE;
    }

    std::shared_ptr<backend::ParseErrorImpl> parseError() override {
        ComPtr<IXMLDOMParseError> error;
        CheckHr(document_->get_parseError(error.Put()), doc(), __uuidof(IXMLDOMDocument));
        if (!error) RaiseError(E_POINTER);
        return std::make_shared<MsxmlParseError>(std::move(error));
    }

    std::shared_ptr<backend::NodeImpl> selectSingleNode(std::wstring_view path) override {
        _bstr_t query = ToBstr(path);
        NodePtr found;
        CheckHr(document_->selectSingleNode(query.GetBSTR(), found.Put()), doc(),
                __uuidof(IXMLDOMDocument));
        return WrapNode(std::move(found));
    }

    std::shared_ptr<backend::NodeImpl> createAttribute(std::wstring_view name) override {
        _bstr_t copy = ToBstr(name);
        AttributePtr attribute;
        CheckHr(document_->createAttribute(copy.GetBSTR(), attribute.Put()), doc(),
                __uuidof(IXMLDOMDocument));
        return WrapNode(std::move(attribute));
    }

    // The service writes the document into a memory stream (it reports every failed save to a
    // path as E_FAIL, where the program's own writer gives the reason); the bytes go from there
    // to the file.
    HResult save(std::wstring_view path) override {
        return WithSavedBytes([&](std::string_view bytes) {
            return io::SaveFile(path, bytes, source_ ? &*source_ : nullptr);
        });
    }

    HResult save(io::ByteSink& sink) override {
        return WithSavedBytes([&](std::string_view bytes) { return sink.Write(bytes); });
    }

  private:
    IXMLDOMDocument* doc() const { return document_.Get(); }

    // Has the service save the document into memory and hands the bytes to `use`.
    template <typename Use>
    HResult WithSavedBytes(Use use) {
        ComPtr<IStream> stream;
        HRESULT result = CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
        if (FAILED(result)) return result;
        VARIANT destination;
        VariantInit(&destination);
        V_VT(&destination) = VT_UNKNOWN;
        V_UNKNOWN(&destination) = stream.Get();  // borrowed: not released here
        result = document_->save(destination);
        if (FAILED(result)) return result;
        return WithStreamBytes(stream.Get(), use);
    }

    DocumentPtr document_;
    std::optional<io::FileSnapshot> source_;  // of the file last loaded
};

std::shared_ptr<backend::NodeImpl> WrapNode(NodePtr node) {
    if (!node) return nullptr;
    return std::make_shared<MsxmlNode>(std::move(node));
}

std::shared_ptr<backend::DocumentImpl> WrapDocument(DocumentPtr document) {
    if (!document) return nullptr;
    return std::make_shared<MsxmlDocument>(std::move(document));
}

}  // namespace

HResult CreateDocument(std::shared_ptr<backend::DocumentImpl>& document) {
    ComPtr<IUnknown> unknown;
    HRESULT result =
        CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
    if (FAILED(result)) return result;
    result = OleRun(unknown.Get());
    if (FAILED(result)) return result;
    DocumentPtr created;
    result = unknown->QueryInterface(__uuidof(IXMLDOMDocument), created.PutVoid());
    if (FAILED(result)) return result;
    try {
        document = WrapDocument(std::move(created));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace ostrel::xml::msxml
