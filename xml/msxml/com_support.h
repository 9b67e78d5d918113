// The conversions between the program's text and the BSTR / VARIANT values of MSXML's calls.
#pragma once

#include <windows.h>

#include <comdef.h>
#include <comutil.h>

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::xml::msxml {

// A BSTR copy of the text (embedded NULs kept). Raises E_OUTOFMEMORY when it cannot be made.
_bstr_t ToBstr(std::wstring_view text);

// A VT_BSTR variant holding a copy of the text. Raises E_OUTOFMEMORY like ToBstr.
_variant_t ToStringVariant(std::wstring_view text);

// The text of a BSTR; a null BSTR is the empty text.
std::wstring FromBstr(BSTR text);

// The text of a BSTR, or nullopt for a null BSTR (a value the object did not give).
std::optional<std::wstring> OptionalFromBstr(BSTR text);

}  // namespace ostrel::xml::msxml
