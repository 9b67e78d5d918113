// Sample documents for the DOM tests, and the byte encodings that program files come in.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::test {

// A small program file: an Editor root with a CRC, two fixtures with CDATA blocks, one of
// them after a comment, and white space as an editor writes it.
inline constexpr std::string_view kProgramFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Editor Version=\"3.2\" CRC=\"5A17C3E9\">\n"
    "\t<Harness>\n"
    "\t\t<Fixtures>\n"
    "\t\t\t<Fixture Name=\"J1\">\n"
    "\t\t\t\t<![CDATA[\n\t\t\t\t12\n\t\t\t\t13,A7\n\t\t\t]]>\n"
    "\t\t\t</Fixture>\n"
    "\t\t\t<!-- shield -->\n"
    "\t\t\t<Fixture Name=\"J2\"><![CDATA[  20,S1,G1  ]]></Fixture>\n"
    "\t\t</Fixtures>\n"
    "\t</Harness>\n"
    "</Editor>\n";

// The first block of kProgramFile, exactly as stored.
inline constexpr std::wstring_view kFirstBlock = L"\n\t\t\t\t12\n\t\t\t\t13,A7\n\t\t\t";

// One node of every kind the walk meets, in this order under the root: white space, an
// element with a prefix, a comment, a processing instruction, a CDATA section, text.
inline constexpr std::string_view kEveryKindFile =
    "<?xml version=\"1.0\"?>\n"
    "<Fixtures xmlns:v=\"urn:vela\">\n"
    "  <v:Fixture/><!-- note --><?Fixture data?><![CDATA[ a ]]>tail</Fixtures>\n";

// µ, Ω and é: Ω has no single-byte code in ISO-8859-1 or windows-1252.
inline constexpr std::wstring_view kNonAscii = L"\u00B5\u03A9\u00E9";

// UTF-16 little-endian bytes of a text of the Basic Multilingual Plane, with the byte order mark.
inline std::string Utf16LeWithBom(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// Single-byte bytes of a text whose characters all have a code below 256 in the encoding:
// ISO-8859-1 is the identity there; windows-1252 differs only in 0x80-0x9F, of which the euro
// sign is the one these tests use.
inline std::string SingleByte(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) bytes += c == L'\u20AC' ? '\x80' : static_cast<char>(c);
    return bytes;
}

}  // namespace ostrel::test
