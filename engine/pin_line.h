// The rewrite of fixture blocks: every pin line with fewer than three fields becomes "n,n+1",
// where n is the number it starts with; longer pin lines are copied. Pure functions of strings,
// independent of any DOM or user interface.
//
// Pin lines and fields are split as the platform's string class Tokenize splits them: pin lines
// are runs between line feeds, tabs and spaces, fields are runs between commas, and a run of
// separators never gives an empty pin line or field. A pin line is copied when its third field
// holds something other than ASCII white space; every other pin line is rewritten.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::engine {

// The number at the start of a field, read as a modern C runtime's _wtoi reads it: leading
// white space, an optional sign, then ASCII digits up to the first other character. No digits
// give 0; values beyond the 32-bit range saturate at INT_MIN or INT_MAX.
int ReadLeadingInteger(std::wstring_view field) noexcept;

// The text that replaces one pin line (a run without line feed, tab or space).
std::wstring RewritePinLine(std::wstring_view line);

// The rewritten fixture block: each pin line on its own line after a line feed and four tabs,
// then a line feed and three tabs. Accepts every text, the empty one included.
std::wstring RewriteFixtureBlock(std::wstring_view block);

}  // namespace ostrel::engine
