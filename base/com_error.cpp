// The Windows half of the program's errors, and what the compiler's COM support library (comsupp)
// would provide: an Error is the platform's own `_com_error`, raised through the handler that
// comdef.h's `_com_issue_error` uses, so that every COM failure of the program leaves by one road.
#include <windows.h>

#include <oleauto.h>

#include <comdef.h>
#include <comutil.h>

#include <new>
#include <string>
#include <type_traits>

#include "base/error.h"
#include "base/win32_handles.h"

static_assert(std::is_same_v<TCHAR, wchar_t>, "the program is built as a Unicode program");

namespace {

// The object's description of the failure it just reported, or null. The thread's error object
// only describes this failure when the object says that `iid` reports errors through it.
IErrorInfo* TakeErrorInfo(IUnknown* object, REFIID iid) {
    if (object == nullptr) return nullptr;
    ostrel::ComPtr<ISupportErrorInfo> support;
    if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, support.PutVoid()))) return nullptr;
    if (support->InterfaceSupportsErrorInfo(iid) != S_OK) return nullptr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return nullptr;
    return info;
}

// An error object that carries only a description; null when the text is empty or the object
// cannot be made (the error is then raised without a description).
IErrorInfo* MakeErrorInfo(const std::wstring& description) {
    if (description.empty()) return nullptr;
    ostrel::ComPtr<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.Put()))) return nullptr;
    if (FAILED(creator->SetDescription(const_cast<LPOLESTR>(description.c_str())))) return nullptr;
    IErrorInfo* info = nullptr;
    if (FAILED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        return nullptr;
    }
    return info;
}

}  // namespace

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

namespace ostrel {

void RaiseError(HResult code, const std::wstring& description) {
    throw _com_error(code, MakeErrorInfo(description));
}

void CheckHr(HRESULT result, IUnknown* object, REFIID iid) {
    if (FAILED(result)) _com_issue_errorex(result, object, iid);
}

HResult ErrorCode(const Error& error) { return error.Error(); }

std::wstring ErrorDescription(const Error& error) {
    const _bstr_t own = error.Description();
    std::wstring text;
    if (own.length() != 0) text.assign(static_cast<const wchar_t*>(own), own.length());
    if (text.empty()) {
        if (const wchar_t* message = error.ErrorMessage()) text = message;
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

}  // namespace ostrel
