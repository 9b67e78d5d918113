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

// UTF-8 bytes of a wide text.
std::string ToUtf8(std::wstring_view text, Utf8Errors errors = Utf8Errors::kReplace);
// Wide text of UTF-8 bytes.
std::wstring FromUtf8(std::string_view bytes, Utf8Errors errors = Utf8Errors::kReplace);

}  // namespace ostrel
