#include "engine/pin_line.h"

#include <climits>
#include <cstdint>

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

std::wstring_view TrimTrailingWhiteSpace(std::wstring_view field) noexcept {
    while (!field.empty() && IsWhiteSpace(field.back())) field.remove_suffix(1);
    return field;
}

}  // namespace

std::optional<std::wstring_view> Tokenizer::Next() noexcept {
    if (position_ >= text_.size()) return std::nullopt;
    const std::size_t start = text_.find_first_not_of(separators_, position_);
    if (start == std::wstring_view::npos) {
        position_ = text_.size();
        return std::nullopt;
    }
    std::size_t stop = text_.find_first_of(separators_, start);
    if (stop == std::wstring_view::npos) stop = text_.size();
    position_ = stop + 1;  // the separator that ended the token is consumed
    return text_.substr(start, stop - start);
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
    std::wstring_view fields[kFieldSlots];
    Tokenizer tokenizer(line, kFieldSeparators);
    for (auto& field : fields) {
        const auto token = tokenizer.Next();
        if (!token) break;  // the remaining slots stay empty
        field = TrimTrailingWhiteSpace(*token);
    }
    if (!fields[2].empty()) return std::wstring(line);

    // n + 1 is computed in 64 bits so that INT_MAX is followed by 2147483648, not a wrap.
    const int n = ReadLeadingInteger(fields[0]);
    return std::to_wstring(n) + L',' + std::to_wstring(std::int64_t{n} + 1);
}

std::wstring RewriteFixtureBlock(std::wstring_view block) {
    std::wstring result;
    result.reserve(block.size() + block.size() / 2 + kClosingIndent.size());
    Tokenizer pinLines(block, kPinLineSeparators);
    while (const auto line = pinLines.Next()) {
        result += kPinLineIndent;
        result += RewritePinLine(*line);
    }
    result += kClosingIndent;
    return result;
}

}  // namespace ostrel::engine
