// What the compiler's COM support library (comsupp) would provide, and the Windows half of the
// DOM layer's errors: a DomError is the platform's own `_com_error`.
#include <windows.h>

#include <oleauto.h>

#include <comdef.h>
#include <comutil.h>

#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "xml/dom_error.h"
#include "xml/msxml/com_support.h"

static_assert(std::is_same_v<TCHAR, wchar_t>, "the program is built as a Unicode program");

namespace {

// The object's description of the failure it just reported, or null. The thread's error object
// only describes this failure when the object says that `iid` reports errors through it.
IErrorInfo* TakeErrorInfo(IUnknown* object, REFIID iid) {
    if (object == nullptr) return nullptr;
    ISupportErrorInfo* support = nullptr;
    if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))))
        return nullptr;
    const HRESULT supported = support->InterfaceSupportsErrorInfo(iid);
    support->Release();
    if (supported != S_OK) return nullptr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return nullptr;
    return info;
}

// An error object that carries only a description; null when the text is empty or the object
// cannot be made (the error is then raised without a description).
IErrorInfo* MakeErrorInfo(const std::wstring& description) {
    if (description.empty()) return nullptr;
    ICreateErrorInfo* creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator))) return nullptr;
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(creator->SetDescription(const_cast<LPOLESTR>(description.c_str())))) {
        if (FAILED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))))
            info = nullptr;
    }
    creator->Release();
    return info;
}

void TrimLineEnds(std::wstring& text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
}

}  // namespace

// Raises the error through the handler that comdef.h's _com_issue_error uses, so that every COM
// failure of the program leaves by the same road.
void WINAPI _com_issue_errorex(HRESULT result, IUnknown* object, REFIID iid) {
    __mingw_com_error_handler(result, TakeErrorInfo(object, iid));
}

namespace _com_util {

BSTR WINAPI ConvertStringToBSTR(const char* source) {
    if (source == nullptr) return nullptr;
    const int length = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
    if (result == nullptr) return nullptr;
    MultiByteToWideChar(CP_ACP, 0, source, -1, result, length);
    return result;
}

// The caller (_bstr_t) frees the result with delete[].
char* WINAPI ConvertBSTRToString(BSTR source) {
    if (source == nullptr) return nullptr;
    const int length = WideCharToMultiByte(CP_ACP, 0, source, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return nullptr;
    char* result = new (std::nothrow) char[static_cast<size_t>(length)];
    if (result == nullptr) return nullptr;
    WideCharToMultiByte(CP_ACP, 0, source, -1, result, length, nullptr, nullptr);
    return result;
}

}  // namespace _com_util

namespace ostrel::xml {

void RaiseDomError(HResult code, const std::wstring& description) {
    throw _com_error(code, MakeErrorInfo(description));
}

HResult ErrorCode(const DomError& error) { return error.Error(); }

std::wstring ErrorDescription(const DomError& error) {
    const _bstr_t own = error.Description();
    std::wstring text;
    if (own.length() != 0) text.assign(static_cast<const wchar_t*>(own), own.length());
    if (text.empty()) {
        const wchar_t* message = error.ErrorMessage();
        if (message != nullptr) text = message;
    }
    TrimLineEnds(text);
    return text;
}

namespace msxml {

void CheckHr(HRESULT result, IUnknown* object, REFIID iid) {
    if (FAILED(result)) _com_issue_errorex(result, object, iid);
}

_bstr_t ToBstr(std::wstring_view text) {
    if (text.size() > std::numeric_limits<UINT>::max() / sizeof(wchar_t)) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(copy, false);
}

_variant_t ToStringVariant(std::wstring_view text) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = ToBstr(text).Detach();
    return _variant_t(value, false);
}

std::wstring FromBstr(BSTR text) {
    return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

std::optional<std::wstring> OptionalFromBstr(BSTR text) {
    if (text == nullptr) return std::nullopt;
    return std::wstring(text, SysStringLen(text));
}

}  // namespace msxml

}  // namespace ostrel::xml
