// The one lookup of the program's texts, by their string-table number (res/string_table.h).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/result.h"
#include "res/string_table.h"

namespace ostrel {

// The text with that number. Trap: an unknown number gives the empty text.
std::wstring LoadText(unsigned id);

// The text with its placeholders (%s, %i, %08x), in order, replaced by the arguments, which the
// caller has already formatted (see HexCode). Extra placeholders stay; extra arguments are unused.
std::wstring FormatText(unsigned id, std::initializer_list<std::wstring_view> arguments);

// A code as eight lower-case hexadecimal digits, as %08x prints it.
std::wstring HexCode(HResult code);

}  // namespace ostrel
