#include "base/utf8.h"

#include <algorithm>
#include <cstdint>

namespace ostrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The surrogates that stand for the bytes 0x80..0xFF of an escaped name.
constexpr char32_t kEscapeBase = 0xDC00;
bool IsEscapedByte(char32_t c) { return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF; }

void AppendUtf8(std::string& out, char32_t c, Utf8Errors errors) {
    if (errors == Utf8Errors::kEscape && IsEscapedByte(c)) {
        out += static_cast<char>(c - kEscapeBase);
        return;
    }
    if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

// Decodes one sequence at `i`, advancing it. An invalid or truncated sequence gives U+FFFD and
// advances past its lead byte and whatever continuation bytes belong to it; escaped, it gives its
// first byte as a lone surrogate and advances past that byte alone.
char32_t DecodeUtf8(std::string_view bytes, std::size_t& i, Utf8Errors errors) {
    const std::size_t start = i;
    const auto invalid = [&]() -> char32_t {
        if (errors == Utf8Errors::kReplace) return kReplacement;
        i = start + 1;
        return kEscapeBase + static_cast<char32_t>(static_cast<std::uint8_t>(bytes[start]));
    };
    const auto lead = static_cast<std::uint8_t>(bytes[i++]);
    if (lead < 0x80) return lead;
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        return invalid();
    }
    for (int k = 0; k < length; ++k) {
        if (i >= bytes.size() || (static_cast<std::uint8_t>(bytes[i]) & 0xC0) != 0x80) {
            return invalid();
        }
        c = (c << 6) | (static_cast<std::uint8_t>(bytes[i++]) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) return invalid();
    return c;
}

// Appends a run of ASCII characters, converting each code unit.
template <typename To, typename From>
void AppendAscii(std::basic_string<To>& out, std::basic_string_view<From> run) {
    const std::size_t start = out.size();
    out.resize(start + run.size());
    std::transform(run.begin(), run.end(), out.begin() + static_cast<std::ptrdiff_t>(start),
                   [](From c) { return static_cast<To>(c); });
}

void AppendNarrowed(std::string& out, std::wstring_view run) { AppendAscii(out, run); }
void AppendWidened(std::wstring& out, std::string_view run) { AppendAscii(out, run); }

// Whether every code unit is ASCII: one pass that ORs them together, which the compiler makes a
// vector loop, where a search for the first other unit goes one unit at a time.
template <typename Unit>
bool IsAscii(std::basic_string_view<Unit> text) {
    std::uint32_t all = 0;
    for (const Unit unit : text) all |= static_cast<std::uint32_t>(unit);
    return all < 0x80;
}

}  // namespace

std::string ToUtf8(std::wstring_view text, Utf8Errors errors) {
    std::string out;
    if (IsAscii(text)) {
        AppendNarrowed(out, text);
        return out;
    }
    out.reserve(text.size() + text.size() / 8);
    std::size_t i = 0;
    while (i < text.size()) {
        // Runs of ASCII, the bulk of every program file, are copied without the general path.
        const std::size_t asciiStart = i;
        while (i < text.size() && static_cast<std::uint32_t>(text[i]) < 0x80) ++i;
        AppendNarrowed(out, text.substr(asciiStart, i - asciiStart));
        if (i == text.size()) break;
        char32_t c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            const bool high = c >= 0xD800 && c <= 0xDBFF;
            if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
            }
        }
        AppendUtf8(out, c, errors);
        ++i;
    }
    return out;
}

std::wstring FromUtf8(std::string_view bytes, Utf8Errors errors) {
    std::wstring out;
    if (IsAscii(bytes)) {
        AppendWidened(out, bytes);
        return out;
    }
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t asciiStart = i;
        while (i < bytes.size() && static_cast<std::uint8_t>(bytes[i]) < 0x80) ++i;
        AppendWidened(out, bytes.substr(asciiStart, i - asciiStart));
        if (i < bytes.size()) AppendWide(out, DecodeUtf8(bytes, i, errors));
    }
    return out;
}

namespace {

// The conversions are written once for a form known at compile time (width and byte order), so
// that the loops over a unit's bytes unroll: with the form read at run time, they cost more than
// the rest of the save of a UTF-16 file.
template <int Width, bool BigEndian>
struct Form {
    static constexpr bool kPairs = Width == 2;  // UTF-16: beyond U+FFFF, a surrogate pair
    // Writes the code unit at `out` in the form's byte order; gives the place after it.
    static char* PutUnit(char* out, char32_t unit) noexcept {
        for (int k = 0; k < Width; ++k) {
            const int shift = 8 * (BigEndian ? Width - 1 - k : k);
            *out++ = static_cast<char>((unit >> shift) & 0xFF);
        }
        return out;
    }
    static char32_t UnitAt(const char* bytes) noexcept {
        char32_t unit = 0;
        for (int k = 0; k < Width; ++k) {
            const auto byte = static_cast<std::uint8_t>(bytes[k]);
            unit |= static_cast<char32_t>(byte) << (8 * (BigEndian ? Width - 1 - k : k));
        }
        return unit;
    }
};

// Calls `convert` with the Form type of the run-time form.
template <typename Convert>
auto WithForm(UnicodeUnits form, Convert&& convert) {
    if (form.width == 2) {
        return form.bigEndian ? convert(Form<2, true>()) : convert(Form<2, false>());
    }
    return form.bigEndian ? convert(Form<4, true>()) : convert(Form<4, false>());
}

// Writes the UTF-8 bytes of a Unicode scalar value at `out`; gives the place after them.
char* PutUtf8(char* out, char32_t c) noexcept {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

// Both conversions write into a string sized for the longest result and cut it to what was
// written: appending byte by byte made them the largest cost of saving a UTF-16 file. A UTF-8
// sequence of n bytes gives at most n code units; a code unit gives at most 4 UTF-8 bytes.
std::string EncodeUnits(std::string_view utf8, UnicodeUnits form) {
    return WithForm(form, [&](auto units) {
        using Units = decltype(units);
        std::string out(utf8.size() * static_cast<std::size_t>(form.width), '\0');
        char* next = out.data();
        for (std::size_t i = 0; i < utf8.size();) {
            const auto byte = static_cast<std::uint8_t>(utf8[i]);
            char32_t c = byte;
            if (byte < 0x80) {
                ++i;
            } else {
                c = DecodeUtf8(utf8, i, Utf8Errors::kReplace);
            }
            if (Units::kPairs && c >= 0x10000) {
                c -= 0x10000;
                next = Units::PutUnit(next, 0xD800 + (c >> 10));
                next = Units::PutUnit(next, 0xDC00 + (c & 0x3FF));
            } else {
                next = Units::PutUnit(next, c);
            }
        }
        out.resize(static_cast<std::size_t>(next - out.data()));
        return out;
    });
}

bool DecodeUnits(std::string_view bytes, UnicodeUnits form, std::string& utf8) {
    const auto width = static_cast<std::size_t>(form.width);
    if (bytes.size() % width != 0) return false;
    utf8.assign(bytes.size() / width * 4, '\0');
    return WithForm(form, [&](auto units) {
        using Units = decltype(units);
        char* next = utf8.data();
        for (std::size_t i = 0; i < bytes.size(); i += width) {
            char32_t c = Units::UnitAt(bytes.data() + i);
            if (c < 0x80) {
                *next++ = static_cast<char>(c);
                continue;
            }
            if (Units::kPairs && c >= 0xD800 && c <= 0xDBFF && i + 2 * width <= bytes.size()) {
                const char32_t trail = Units::UnitAt(bytes.data() + i + width);
                if (trail >= 0xDC00 && trail <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00);
                    i += width;
                }
            }
            if (c > 0x10FFFF || IsSurrogate(c)) return false;
            next = PutUtf8(next, c);
        }
        utf8.resize(static_cast<std::size_t>(next - utf8.data()));
        return true;
    });
}

}  // namespace ostrel
