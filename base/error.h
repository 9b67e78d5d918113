// The program's one exception type and the one road from a failure code to it.
//
// On Windows the type is the platform's own `_com_error`, which COM support code raises too;
// elsewhere a class of the same shape. Code that reports a failure reads it through ErrorCode and
// ErrorDescription, or DescribeCurrentException inside a catch block.
#pragma once

#include <exception>
#include <string>

#include "base/result.h"

#ifdef _WIN32
#include <windows.h>

#include <comdef.h>
#endif

namespace ostrel {

#ifdef _WIN32
using Error = _com_error;
#else
// A failed operation: an HRESULT-style code and the failing object's description.
class Error : public std::exception {
  public:
    Error(HResult code, std::wstring description);
    // The failure code.
    HResult Code() const noexcept { return code_; }
    // What the failing object said about it; may be empty.
    const std::wstring& Description() const noexcept { return description_; }
    // Read the error through ErrorCode and ErrorDescription; this only names the type.
    const char* what() const noexcept override { return "ostrel::Error"; }

  private:
    HResult code_;
    std::wstring description_;
};
#endif

// Raises Error with the code and the description (none when empty).
[[noreturn]] void RaiseError(HResult code, const std::wstring& description = {});

#ifdef _WIN32
// Raises the failure of a COM call, when `result` is one. The error carries the object's own
// description when `object` says (ISupportErrorInfo) that interface `iid` reports errors that
// way. Trap: `object` may be null; the error then carries no description of its own.
void CheckHr(HRESULT result, IUnknown* object = nullptr, REFIID iid = IID_NULL);
#endif

// The code carried by an error.
HResult ErrorCode(const Error& error);
// The error's description; the platform's text for its code when the object gave none. One line:
// trailing line ends are removed.
std::wstring ErrorDescription(const Error& error);

// A failure as the user is told of it: its code and a text.
struct ErrorReport {
    HResult code;
    std::wstring description;
};

// Describes the exception in flight. Call it only inside a catch block: an Error gives its code and
// description, std::bad_alloc E_OUTOFMEMORY, any other exception E_FAIL, each with a text.
ErrorReport DescribeCurrentException() noexcept;

}  // namespace ostrel
