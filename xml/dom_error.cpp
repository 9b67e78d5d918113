#include "xml/dom_error.h"

#include <cstdio>

#include "io/utf8.h"

namespace ostrel::xml {

#ifndef _WIN32

namespace {
std::string DescribeForWhat(HResult code, const std::wstring& description) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(code));
    std::string text = std::string("DOM error ") + hex;
    if (!description.empty()) text += ": " + io::ToUtf8(description);
    return text;
}
}  // namespace

DomError::DomError(HResult code, std::wstring description)
    : code_(code),
      description_(std::move(description)),
      what_(DescribeForWhat(code_, description_)) {}

void RaiseDomError(HResult code, const std::wstring& description) {
    throw DomError(code, description);
}

HResult ErrorCode(const DomError& error) { return error.Error(); }

std::wstring ErrorDescription(const DomError& error) {
    if (!error.Description().empty()) return error.Description();
    switch (error.Error()) {
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
}

#endif

}  // namespace ostrel::xml
