#include "xml/msxml/com_support.h"

#include <oleauto.h>

#include <limits>

#include "base/error.h"

namespace ostrel::xml::msxml {

_bstr_t ToBstr(std::wstring_view text) {
    if (text.size() > std::numeric_limits<UINT>::max() / sizeof(wchar_t)) {
        RaiseError(E_OUTOFMEMORY);
    }
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) RaiseError(E_OUTOFMEMORY);
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

}  // namespace ostrel::xml::msxml
