// COM plumbing of the MSXML backend: the one place where a failing HRESULT becomes a
// `_com_error`, and the conversions between the program's text and BSTR / VARIANT values.
#pragma once

#include <windows.h>

#include <comdef.h>
#include <comutil.h>

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::xml::msxml {

// Raises `_com_error` when `result` failed. The error carries the object's IErrorInfo when the
// object says (ISupportErrorInfo) that interface `iid` reports errors that way.
// Trap: `object` may be null; the error then has no description.
void CheckHr(HRESULT result, IUnknown* object, REFIID iid);

// A BSTR copy of the text (embedded NULs kept). Raises E_OUTOFMEMORY when it cannot be made.
_bstr_t ToBstr(std::wstring_view text);

// A VT_BSTR variant holding a copy of the text. Raises E_OUTOFMEMORY like ToBstr.
_variant_t ToStringVariant(std::wstring_view text);

// The text of a BSTR; a null BSTR is the empty text.
std::wstring FromBstr(BSTR text);

// The text of a BSTR, or nullopt for a null BSTR (a value the object did not give).
std::optional<std::wstring> OptionalFromBstr(BSTR text);

}  // namespace ostrel::xml::msxml
