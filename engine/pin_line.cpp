#include "engine/pin_line.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>

namespace ostrel::engine {

namespace {

constexpr std::wstring_view kPinLineIndent = L"\n\t\t\t\t";
constexpr std::wstring_view kClosingIndent = L"\n\t\t\t";

// The white space that number reading skips and that leaves a third field empty: the ASCII
// white-space characters. A fixed set, so that a block converts the same way whatever the
// process's locale.
bool IsWhiteSpace(wchar_t c) noexcept { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool IsDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

// Writes the number in the form of printf's %i so that it ends just before `end`, and gives
// where it starts. std::to_wstring goes through the wide printf machinery, which dominated the
// rewrite's time on large files.
wchar_t* FormatNumberBefore(wchar_t* end, std::int64_t number) noexcept {
    wchar_t* first = end;
    // The magnitude in unsigned arithmetic, where the most negative number has one too.
    std::uint64_t magnitude =
        number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *--first = L'-';
    return first;
}

// Appends the line's indent and "n,n+1", formed in a buffer of their own so that the string grows
// once. n + 1 is computed in 64 bits so that INT_MAX is followed by 2147483648, not a wrap.
void AppendTestPoint(std::wstring& out, std::wstring_view indent, int n) {
    wchar_t text[32];
    wchar_t* const end = text + std::size(text);
    wchar_t* first = FormatNumberBefore(end, std::int64_t{n} + 1);
    *--first = L',';
    first = FormatNumberBefore(first, n);
    first -= indent.size();
    indent.copy(first, indent.size());
    out.append(first, static_cast<std::size_t>(end - first));
}

// The characters that end a pin line, and with the comma those that end a field: all below 64, so
// that a test is one shift of a set.
constexpr std::uint64_t kLineEnds = 1ULL << L'\n' | 1ULL << L'\t' | 1ULL << L' ';
constexpr std::uint64_t kFieldEnds = kLineEnds | 1ULL << L',';
bool IsIn(std::uint64_t set, wchar_t c) noexcept {
    const auto code = static_cast<std::uint32_t>(c);
    return code < 64 && (set >> code & 1) != 0;
}

// Where the run of characters that are not in `set` ends.
const wchar_t* SkipUntil(std::uint64_t set, const wchar_t* next, const wchar_t* end) noexcept {
    while (next != end && !IsIn(set, *next)) ++next;
    return next;
}

const wchar_t* SkipCommas(const wchar_t* next, const wchar_t* end) noexcept {
    while (next != end && *next == L',') ++next;
    return next;
}

// Appends the indent (at most 5 characters) and what replaces the pin line that starts at `line`,
// and gives where the line ends. The fields are the runs between commas, empty ones skipped: the
// rewrite reads the number at the start of the first, unless the third holds text.
const wchar_t* AppendRewrittenPinLine(std::wstring& out, std::wstring_view indent,
                                      const wchar_t* line, const wchar_t* end) {
    const wchar_t* const first = SkipCommas(line, end);
    const wchar_t* const second = SkipCommas(SkipUntil(kFieldEnds, first, end), end);
    const wchar_t* const third = SkipCommas(SkipUntil(kFieldEnds, second, end), end);
    const wchar_t* const thirdEnd = SkipUntil(kFieldEnds, third, end);
    const wchar_t* const stop = SkipUntil(kLineEnds, thirdEnd, end);
    if (std::any_of(third, thirdEnd, [](wchar_t c) { return !IsWhiteSpace(c); })) {
        out.append(indent);
        out.append(line, static_cast<std::size_t>(stop - line));
        return stop;
    }
    // The number stops at the comma that ends the field, so the rest of the line can be read.
    AppendTestPoint(out, indent,
                    ReadLeadingInteger({first, static_cast<std::size_t>(stop - first)}));
    return stop;
}

}  // namespace

int ReadLeadingInteger(std::wstring_view field) noexcept {
    std::size_t i = 0;
    while (i < field.size() && IsWhiteSpace(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) {
        negative = field[i] == L'-';
        ++i;
    }
    // Accumulate the magnitude, stopping once it is beyond every int value: saturation then
    // decides, and the loop only has to skip the remaining digits.
    constexpr std::int64_t kBeyondRange = std::int64_t{INT_MAX} + 2;
    std::int64_t magnitude = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i) {
        if (magnitude < kBeyondRange) magnitude = magnitude * 10 + (field[i] - L'0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::wstring RewritePinLine(std::wstring_view line) {
    std::wstring result;
    AppendRewrittenPinLine(result, {}, line.data(), line.data() + line.size());
    return result;
}

std::wstring RewriteFixtureBlock(std::wstring_view block) {
    std::wstring result;
    result.reserve(block.size() + block.size() / 2 + kClosingIndent.size());
    const wchar_t* next = block.data();
    const wchar_t* const end = next + block.size();
    for (;;) {
        while (next != end && IsIn(kLineEnds, *next)) ++next;
        if (next == end) break;
        next = AppendRewrittenPinLine(result, kPinLineIndent, next, end);
    }
    result += kClosingIndent;
    return result;
}

}  // namespace ostrel::engine
