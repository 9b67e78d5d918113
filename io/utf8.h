// Conversion between the program's wide text and UTF-8 bytes (file names and console output on
// POSIX systems, libxml2's strings).
#pragma once

#include <string>
#include <string_view>

namespace ostrel::io {

// UTF-8 bytes of a wide text. Lone surrogates (possible with 16-bit wchar_t) become U+FFFD.
std::string ToUtf8(std::wstring_view text);
// Wide text of UTF-8 bytes. Each invalid or truncated sequence becomes one U+FFFD.
std::wstring FromUtf8(std::string_view bytes);

}  // namespace ostrel::io
