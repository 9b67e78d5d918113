#include "engine/pin_line.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>

namespace ostrel::engine {

namespace {

constexpr std::wstring_view kPinLineSeparators = L"\n\t ";
constexpr std::wstring_view kFieldSeparators = L",";
constexpr std::wstring_view kPinLineIndent = L"\n\t\t\t\t";
constexpr std::wstring_view kClosingIndent = L"\n\t\t\t";
constexpr int kFieldSlots = 3;

// The white space that trimming and number reading skip: the ASCII white-space characters.
// A fixed set, so that a block converts the same way whatever the process's locale.
bool IsWhiteSpace(wchar_t c) noexcept { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool IsDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

// Appends the number in the form of printf's %i. std::to_wstring goes through the wide printf
// machinery, which dominated the rewrite's time on large files.
void AppendNumber(std::wstring& out, std::int64_t number) {
    wchar_t digits[24];
    wchar_t* first = digits + std::size(digits);
    // The magnitude in unsigned arithmetic, where the most negative number has one too.
    std::uint64_t magnitude =
        number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *--first = L'-';
    out.append(first, static_cast<std::size_t>(digits + std::size(digits) - first));
}

std::wstring_view TrimTrailingWhiteSpace(std::wstring_view field) noexcept {
    while (!field.empty() && IsWhiteSpace(field.back())) field.remove_suffix(1);
    return field;
}

// Appends what replaces the pin line, without a string of its own for it.
void AppendRewrittenPinLine(std::wstring& out, std::wstring_view line) {
    std::wstring_view fields[kFieldSlots];
    Tokenizer tokenizer(line, kFieldSeparators);
    for (auto& field : fields) {
        const auto token = tokenizer.Next();
        if (!token) break;  // the remaining slots stay empty
        field = TrimTrailingWhiteSpace(*token);
    }
    if (!fields[2].empty()) {
        out += line;
        return;
    }
    // n + 1 is computed in 64 bits so that INT_MAX is followed by 2147483648, not a wrap.
    const int n = ReadLeadingInteger(fields[0]);
    AppendNumber(out, n);
    out += L',';
    AppendNumber(out, std::int64_t{n} + 1);
}

}  // namespace

// Separators below 128 are kept as a bit set: the test is then one shift per character, where
// the library's searches call a memchr per character.
Tokenizer::Tokenizer(std::wstring_view text, std::wstring_view separators) noexcept
    : text_(text), separators_(separators) {
    for (wchar_t separator : separators_) {
        const auto code = static_cast<std::uint32_t>(separator);
        if (code < 128) asciiSeparators_[code >> 6] |= std::uint64_t{1} << (code & 63);
    }
}

bool Tokenizer::IsSeparator(wchar_t c) const noexcept {
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 128) return (asciiSeparators_[code >> 6] >> (code & 63)) & 1;
    return separators_.find(c) != std::wstring_view::npos;
}

std::optional<std::wstring_view> Tokenizer::Next() noexcept {
    const wchar_t* const end = text_.data() + text_.size();
    const wchar_t* start = text_.data() + std::min(position_, text_.size());
    while (start != end && IsSeparator(*start)) ++start;
    if (start == end) {
        position_ = text_.size();
        return std::nullopt;
    }
    const wchar_t* stop = start;
    while (stop != end && !IsSeparator(*stop)) ++stop;
    position_ =
        static_cast<std::size_t>(stop - text_.data()) + 1;  // the ending separator is consumed
    return std::wstring_view(start, static_cast<std::size_t>(stop - start));
}

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
    AppendRewrittenPinLine(result, line);
    return result;
}

std::wstring RewriteFixtureBlock(std::wstring_view block) {
    std::wstring result;
    result.reserve(block.size() + block.size() / 2 + kClosingIndent.size());
    Tokenizer pinLines(block, kPinLineSeparators);
    while (const auto line = pinLines.Next()) {
        result += kPinLineIndent;
        AppendRewrittenPinLine(result, *line);
    }
    result += kClosingIndent;
    return result;
}

}  // namespace ostrel::engine
