#include "base/error.h"

#include <new>

#include "base/utf8.h"

namespace ostrel {

namespace {

// The platform's text for a code, where the failing object gave none.
std::wstring MessageOfCode(HResult code) {
#ifdef _WIN32
    std::wstring text;
    const _com_error error(code);  // the message lives as long as the error object
    if (const wchar_t* message = error.ErrorMessage()) text = message;
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
#else
    switch (code) {
        case hr::kPointer:
            return L"Invalid pointer";
        case hr::kOutOfMemory:
            return L"Not enough memory resources are available";
        case hr::kInvalidArg:
            return L"The parameter is incorrect";
        case hr::kAccessDenied:
            return L"Access is denied";
        case hr::kNoInterface:
            return L"No such interface supported";
        default:
            return L"Unspecified error";
    }
#endif
}

}  // namespace

#ifndef _WIN32

Error::Error(HResult code, std::wstring description)
    : code_(code), description_(std::move(description)) {}

void RaiseError(HResult code, const std::wstring& description) { throw Error(code, description); }

HResult ErrorCode(const Error& error) { return error.Code(); }

std::wstring ErrorDescription(const Error& error) {
    std::wstring text = error.Description();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text.empty() ? MessageOfCode(error.Code()) : text;
}

#endif

ErrorReport DescribeCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const Error& error) {
            return {ErrorCode(error), ErrorDescription(error)};
        } catch (const std::bad_alloc&) {
            return {hr::kOutOfMemory, MessageOfCode(hr::kOutOfMemory)};
        } catch (const std::exception& error) {
            return {hr::kFail, FromUtf8(error.what())};
        } catch (...) {
            return {hr::kFail, MessageOfCode(hr::kFail)};
        }
    } catch (...) {
        // No memory left even for the text.
        return {hr::kOutOfMemory, std::wstring()};
    }
}

}  // namespace ostrel
