// The one exception type of the DOM layer. On Windows it is the platform's own `_com_error`;
// elsewhere a class of the same shape. Front ends read it through ErrorCode and ErrorDescription.
#pragma once

#include <exception>
#include <string>

#include "xml/hresult.h"

#ifdef _WIN32
#include <comdef.h>
#endif

namespace ostrel::xml {

#ifdef _WIN32
using DomError = _com_error;
#else
// A failed DOM operation: an HRESULT-style code and the failing object's description.
class DomError : public std::exception {
  public:
    DomError(HResult code, std::wstring description);
    // The failure code, as the platform's _com_error::Error().
    HResult Error() const noexcept { return code_; }
    // What the failing object said about it; may be empty.
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    HResult code_;
    std::wstring description_;
    std::string what_;
};
#endif

// Raises DomError with the code and description. The single place where a failure becomes an
// exception in the portable layer; backends with error objects of their own may add to it.
[[noreturn]] void RaiseDomError(HResult code, const std::wstring& description = {});

// The code carried by an error.
HResult ErrorCode(const DomError& error);
// The error's description; the platform's text for the code when the object gave none.
std::wstring ErrorDescription(const DomError& error);

}  // namespace ostrel::xml
