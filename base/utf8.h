// Conversion between the program's wide text and UTF-8 bytes (libxml2's strings, file names and
// console output on POSIX systems).
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// What becomes of bytes that are not UTF-8, and of wide text that is not Unicode.
enum class Utf8Errors {
    // Each invalid sequence becomes U+FFFD; a lone surrogate becomes U+FFFD.
    kReplace,
    // Lossless, for names the system gives as bytes: each byte that is not UTF-8 becomes a lone
    // surrogate U+DC80..U+DCFF, which turns back into the same byte (other lone surrogates still
    // become U+FFFD).
    kEscape,
};

// Whether `text` begins with `prefix`.
constexpr bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// UTF-8 bytes of a wide text.
std::string ToUtf8(std::wstring_view text, Utf8Errors errors = Utf8Errors::kReplace);
// Wide text of UTF-8 bytes.
std::wstring FromUtf8(std::string_view bytes, Utf8Errors errors = Utf8Errors::kReplace);

// A fixed-width Unicode form of a file: UTF-16 (2-byte code units, surrogate pairs beyond the
// Basic Multilingual Plane) or UTF-32 (4-byte code units), in either byte order.
struct UnicodeUnits {
    int width = 2;  // 2 or 4
    bool bigEndian = false;
};

// The bytes of UTF-8 text in that form, without a byte order mark. Invalid UTF-8 becomes U+FFFD.
std::string EncodeUnits(std::string_view utf8, UnicodeUnits form);
// The UTF-8 text of bytes in that form; false when they are not whole, valid code units (a lone
// surrogate, a value beyond U+10FFFF, a trailing partial unit).
bool DecodeUnits(std::string_view bytes, UnicodeUnits form, std::string& utf8);

}  // namespace ostrel
