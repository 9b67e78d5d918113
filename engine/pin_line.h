// The rewrite of fixture blocks: every pin line with fewer than three fields becomes "n,n+1",
// where n is the number it starts with; longer pin lines are copied. Pure functions of strings,
// independent of any DOM or user interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::engine {

// Splits a text into tokens the way the platform's string class Tokenize does: runs of
// separators are skipped, a token is never empty, the separator ending a token is consumed.
class Tokenizer {
  public:
    // Trap: both views must outlive the tokenizer and the tokens it gives.
    Tokenizer(std::wstring_view text, std::wstring_view separators) noexcept;
    // The next token, or nullopt at the end (and on every call after it).
    std::optional<std::wstring_view> Next() noexcept;

  private:
    bool IsSeparator(wchar_t c) const noexcept;

    std::wstring_view text_;
    std::wstring_view separators_;
    std::uint64_t asciiSeparators_[2] = {0, 0};  // bit c set: character c < 128 separates
    std::size_t position_ = 0;
};

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
