#include "xml/msxml/msxml_document.h"

#include <windows.h>

#include <msxml2.h>
#include <objidl.h>
#include <ole2.h>

#include <comdef.h>
#include <comip.h>
#include <comutil.h>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "io/file_system.h"
#include "xml/dom_backend.h"
#include "xml/msxml/com_support.h"

// msxml2.h names these interfaces without their identifiers; __uuidof and _com_ptr_t need them.
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

_COM_SMARTPTR_TYPEDEF(IXMLDOMNode, __uuidof(IXMLDOMNode));
_COM_SMARTPTR_TYPEDEF(IXMLDOMDocument, __uuidof(IXMLDOMDocument));
_COM_SMARTPTR_TYPEDEF(IXMLDOMAttribute, __uuidof(IXMLDOMAttribute));
_COM_SMARTPTR_TYPEDEF(IXMLDOMElement, __uuidof(IXMLDOMElement));
_COM_SMARTPTR_TYPEDEF(IXMLDOMCDATASection, __uuidof(IXMLDOMCDATASection));
_COM_SMARTPTR_TYPEDEF(IXMLDOMParseError, __uuidof(IXMLDOMParseError));
// comdef.h defines IStreamPtr only when objidl.h came first; this name does not depend on that.
inline const IID& StreamIid() { return __uuidof(IStream); }
using StreamPtr = _com_ptr_t<_com_IIID_getter<IStream, StreamIid>>;

namespace {

// The class DOMDocument. msxml2.h maps CLSID_DOMDocument to another class, so it is named here.
constexpr CLSID kDomDocumentClass = {
    0x2933bf90, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
static_assert(CLSCTX_ALL == 0x17, "the document is created with every class context");

// Raises the failure of a call made on `object` through `Interface`, with its description.
template <class Interface>
void Check(HRESULT result, Interface* object) {
    CheckHr(result, object, __uuidof(Interface));
}

// The `Ptr::Interface` view of an object; empty when the object lacks it (E_NOINTERFACE).
template <class Ptr>
Ptr QueryView(IUnknown* object) {
    using Interface = typename Ptr::Interface;
    Interface* view = nullptr;
    const HRESULT result =
        object->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(&view));
    if (result == E_NOINTERFACE) return Ptr();
    CheckHr(result, object, IID_IUnknown);
    return Ptr(view, false);
}

// A view that the operation cannot do without: an empty one is a null handle (E_POINTER).
template <class Ptr>
Ptr RequireView(IUnknown* object) {
    Ptr view = QueryView<Ptr>(object);
    if (!view) RaiseError(E_POINTER);
    return view;
}

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

backend::NodeKind KindOf(DOMNodeType type) {
    switch (type) {
        case NODE_ELEMENT:
            return backend::NodeKind::Element;
        case NODE_ATTRIBUTE:
            return backend::NodeKind::Attribute;
        case NODE_TEXT:
            return backend::NodeKind::Text;
        case NODE_CDATA_SECTION:
            return backend::NodeKind::CDataSection;
        case NODE_COMMENT:
            return backend::NodeKind::Comment;
        case NODE_DOCUMENT:
            return backend::NodeKind::Document;
        default:
            return backend::NodeKind::Other;
    }
}

// What every wrapper of this backend holds: the COM node. Lets setAttributeNode reach the COM
// object behind a backend::NodeImpl of its own kind.
class ComNodeHolder {
  public:
    explicit ComNodeHolder(IXMLDOMNodePtr node) : node_(std::move(node)) {}
    virtual ~ComNodeHolder() = default;
    IXMLDOMNode* comNode() const { return node_.GetInterfacePtr(); }
    // Records that the service copied this attribute into `element` instead of attaching it,
    // so that later values still reach the element.
    void CopiedInto(IXMLDOMElementPtr element, _bstr_t name) {
        copiedInto_ = std::move(element);
        copiedName_ = std::move(name);
    }

  protected:
    IXMLDOMNodePtr node_;
    IXMLDOMElementPtr copiedInto_;
    _bstr_t copiedName_;
};

// The object's identity: its IUnknown pointer, which is the same for every interface of it.
IUnknown* IdentityOf(IUnknown* object) {
    IUnknown* identity = nullptr;
    CheckHr(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), object,
            IID_IUnknown);
    identity->Release();  // only compared, never used
    return identity;
}

std::shared_ptr<backend::NodeImpl> WrapNode(IXMLDOMNodePtr node);
std::shared_ptr<backend::DocumentImpl> WrapDocument(IXMLDOMDocumentPtr document);

// The node operations, shared by plain nodes (Base = NodeImpl) and documents (DocumentImpl).
template <class Base>
class NodeOperations : public Base, public ComNodeHolder {
  public:
    explicit NodeOperations(IXMLDOMNodePtr node) : ComNodeHolder(std::move(node)) {}

    backend::NodeKind kind() const override {
        DOMNodeType type = NODE_INVALID;
        Check(node_->get_nodeType(&type), comNode());
        return KindOf(type);
    }

    std::shared_ptr<backend::NodeImpl> firstChild() override {
        IXMLDOMNodePtr child;
        Check(node_->get_firstChild(&child), comNode());
        return WrapNode(child);
    }

    std::shared_ptr<backend::NodeImpl> nextSibling() override {
        IXMLDOMNodePtr sibling;
        Check(node_->get_nextSibling(&sibling), comNode());
        return WrapNode(sibling);
    }

    std::wstring nodeName() override {
        BSTR raw = nullptr;
        const HRESULT result = node_->get_nodeName(&raw);
        const _bstr_t name(raw, false);
        Check(result, comNode());
        return FromBstr(raw);
    }

    std::optional<std::wstring> nodeValue() override {
        VARIANT raw;
        VariantInit(&raw);
        const HRESULT result = node_->get_nodeValue(&raw);
        _variant_t value(raw, false);
        Check(result, comNode());
        if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return std::nullopt;
        if (V_VT(&value) != VT_BSTR) value.ChangeType(VT_BSTR);
        return FromBstr(V_BSTR(&value));
    }

    std::shared_ptr<backend::DocumentImpl> ownerDocument() override {
        IXMLDOMDocumentPtr owner;
        Check(node_->get_ownerDocument(&owner), comNode());
        return WrapDocument(owner);
    }

    // Some services (Wine's) copy the attribute's value into the element instead of attaching
    // the node, and give no replaced attribute back. The replaced attribute is then a copy taken
    // before the call, and the new node remembers the element so that its later values count.
    std::shared_ptr<backend::NodeImpl> setAttributeNode(backend::NodeImpl& attribute) override {
        auto* holder = dynamic_cast<ComNodeHolder*>(&attribute);
        if (holder == nullptr) RaiseError(E_INVALIDARG);  // a node of another backend
        const IXMLDOMElementPtr element = RequireView<IXMLDOMElementPtr>(comNode());
        IXMLDOMElement* const raw = element.GetInterfacePtr();
        const IXMLDOMAttributePtr added = RequireView<IXMLDOMAttributePtr>(holder->comNode());
        BSTR rawName = nullptr;
        const HRESULT named = added->get_nodeName(&rawName);
        _bstr_t name(rawName, false);
        Check(named, added.GetInterfacePtr());

        const IXMLDOMNodePtr previous = CopyOfAttribute(element, name);
        IXMLDOMAttributePtr replaced;
        Check(element->setAttributeNode(added, &replaced), raw);
        IXMLDOMAttributePtr current;
        Check(element->getAttributeNode(name.GetBSTR(), &current), raw);
        if (current && IdentityOf(current) != IdentityOf(added)) holder->CopiedInto(element, name);

        if (replaced) {
            return WrapNode(IXMLDOMNodePtr(static_cast<IXMLDOMNode*>(replaced.GetInterfacePtr())));
        }
        return WrapNode(previous);
    }

    void putValue(std::wstring_view value) override {
        const IXMLDOMAttributePtr attribute = RequireView<IXMLDOMAttributePtr>(comNode());
        const _variant_t copy = ToStringVariant(value);
        Check(attribute->put_value(copy), attribute.GetInterfacePtr());
        if (copiedInto_) {
            Check(copiedInto_->setAttribute(copiedName_.GetBSTR(), copy),
                  copiedInto_.GetInterfacePtr());
        }
    }

    // Some services (Wine's) escape markup characters when they set a CDATA section's text,
    // storing "&lt;" for "<"; the content is then set as the node's value, which is stored as is.
    void putText(std::wstring_view text) override {
        const IXMLDOMCDATASectionPtr section = RequireView<IXMLDOMCDATASectionPtr>(comNode());
        IXMLDOMCDATASection* const raw = section.GetInterfacePtr();
        _bstr_t copy = ToBstr(text);
        Check(section->put_text(copy.GetBSTR()), raw);
        if (nodeValue() != text) Check(section->put_nodeValue(ToStringVariant(text)), raw);
    }

  private:
    // A detached copy of the element's attribute of that name, or an empty pointer.
    static IXMLDOMNodePtr CopyOfAttribute(const IXMLDOMElementPtr& element, _bstr_t& name) {
        IXMLDOMAttributePtr existing;
        Check(element->getAttributeNode(name.GetBSTR(), &existing), element.GetInterfacePtr());
        if (!existing) return IXMLDOMNodePtr();
        IXMLDOMNodePtr copy;
        Check(existing->cloneNode(VARIANT_TRUE, &copy), existing.GetInterfacePtr());
        return copy;
    }
};

using MsxmlNode = NodeOperations<backend::NodeImpl>;

class MsxmlParseError : public backend::ParseErrorImpl {
  public:
    explicit MsxmlParseError(IXMLDOMParseErrorPtr error) : error_(std::move(error)) {}

    std::optional<std::wstring> reason() override {
        BSTR raw = nullptr;
        const HRESULT result = error_->get_reason(&raw);
        const _bstr_t reason(raw, false);
        Check(result, error_.GetInterfacePtr());
        return OptionalFromBstr(raw);
    }

  private:
    IXMLDOMParseErrorPtr error_;
};

// The bytes written to a memory stream, from its start to its size.
HRESULT ReadStream(IStream* stream, std::string& bytes) {
    STATSTG status{};
    HRESULT result = stream->Stat(&status, STATFLAG_NONAME);
    if (FAILED(result)) return result;
    HGLOBAL memory = nullptr;
    result = GetHGlobalFromStream(stream, &memory);
    if (FAILED(result)) return result;
    const SIZE_T size = static_cast<SIZE_T>(status.cbSize.QuadPart);
    if (size == 0) {
        bytes.clear();
        return S_OK;
    }
    const void* data = GlobalLock(memory);
    if (data == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    try {
        bytes.assign(static_cast<const char*>(data), size);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    }
    GlobalUnlock(memory);
    return result;
}

class MsxmlDocument : public NodeOperations<backend::DocumentImpl> {
  public:
    explicit MsxmlDocument(IXMLDOMDocumentPtr document)
        : NodeOperations(IXMLDOMNodePtr(static_cast<IXMLDOMNode*>(document.GetInterfacePtr()))),
          document_(std::move(document)) {}

    void putAsync(bool value) override { Check(document_->put_async(ToVariantBool(value)), doc()); }

    void putResolveExternals(bool value) override {
        Check(document_->put_resolveExternals(ToVariantBool(value)), doc());
    }

    void putPreserveWhiteSpace(bool value) override {
        Check(document_->put_preserveWhiteSpace(ToVariantBool(value)), doc());
    }

    bool load(std::wstring_view path) override {
        VARIANT_BOOL loaded = VARIANT_FALSE;
        Check(document_->load(ToStringVariant(path), &loaded), doc());
        return loaded == VARIANT_TRUE;
    }

    std::shared_ptr<backend::ParseErrorImpl> parseError() override {
        IXMLDOMParseErrorPtr error;
        Check(document_->get_parseError(&error), doc());
        if (!error) RaiseError(E_POINTER);
        return std::make_shared<MsxmlParseError>(error);
    }

    std::shared_ptr<backend::NodeImpl> selectSingleNode(std::wstring_view path) override {
        _bstr_t query = ToBstr(path);
        IXMLDOMNodePtr found;
        Check(document_->selectSingleNode(query.GetBSTR(), &found), doc());
        return WrapNode(found);
    }

    std::shared_ptr<backend::NodeImpl> createAttribute(std::wstring_view name) override {
        _bstr_t copy = ToBstr(name);
        IXMLDOMAttributePtr attribute;
        Check(document_->createAttribute(copy.GetBSTR(), &attribute), doc());
        return WrapNode(IXMLDOMNodePtr(static_cast<IXMLDOMNode*>(attribute.GetInterfacePtr())));
    }

    HResult save(std::wstring_view path) override {
        std::string bytes;
        const HRESULT serialized = Serialize(bytes);
        if (FAILED(serialized)) return serialized;
        return io::WriteFileAtomically(path, bytes);
    }

  private:
    // The bytes the service writes for the document, through a memory stream.
    HRESULT Serialize(std::string& bytes) {
        IStream* raw = nullptr;
        HRESULT result = CreateStreamOnHGlobal(nullptr, TRUE, &raw);
        if (FAILED(result)) return result;
        const StreamPtr stream(raw, false);
        VARIANT destination;
        VariantInit(&destination);
        V_VT(&destination) = VT_UNKNOWN;
        V_UNKNOWN(&destination) = stream.GetInterfacePtr();  // borrowed: not released here
        result = document_->save(destination);
        if (FAILED(result)) return result;
        return ReadStream(stream, bytes);
    }

    IXMLDOMDocument* doc() const { return document_.GetInterfacePtr(); }

    IXMLDOMDocumentPtr document_;
};

std::shared_ptr<backend::NodeImpl> WrapNode(IXMLDOMNodePtr node) {
    if (!node) return nullptr;
    return std::make_shared<MsxmlNode>(std::move(node));
}

std::shared_ptr<backend::DocumentImpl> WrapDocument(IXMLDOMDocumentPtr document) {
    if (!document) return nullptr;
    return std::make_shared<MsxmlDocument>(std::move(document));
}

}  // namespace

HResult CreateDocument(std::shared_ptr<backend::DocumentImpl>& document) {
    IUnknown* unknown = nullptr;
    HRESULT result = CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                      reinterpret_cast<void**>(&unknown));
    if (FAILED(result)) return result;
    IXMLDOMDocument* created = nullptr;
    result = OleRun(unknown);
    if (SUCCEEDED(result)) {
        result =
            unknown->QueryInterface(__uuidof(IXMLDOMDocument), reinterpret_cast<void**>(&created));
    }
    unknown->Release();
    if (FAILED(result)) return result;
    IXMLDOMDocumentPtr owned(created, false);
    try {
        document = WrapDocument(owned);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace ostrel::xml::msxml
