// Sample documents for the DOM tests, and the byte encodings that program files come in.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/utf8.h"
#include "xml/dom.h"

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

// UTF-16 bytes of a text, characters beyond the Basic Multilingual Plane as surrogate pairs,
// with the byte order mark or without.
inline std::string Utf16(std::wstring_view text, bool bigEndian, bool mark) {
    return EncodeUnits(ToUtf8((mark ? L"\uFEFF" : L"") + std::wstring(text)), {2, bigEndian});
}
inline std::string Utf16LeWithBom(std::wstring_view text) { return Utf16(text, false, true); }
inline std::string Utf16BeWithBom(std::wstring_view text) { return Utf16(text, true, true); }
inline std::string Utf16LeWithoutBom(std::wstring_view text) { return Utf16(text, false, false); }

// Single-byte bytes of a text whose characters all have a code below 256 in the encoding:
// ISO-8859-1 is the identity there; windows-1252 differs only in 0x80-0x9F, of which the euro
// sign is the one these tests use.
inline std::string SingleByte(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) bytes += c == L'\u20AC' ? '\x80' : static_cast<char>(c);
    return bytes;
}

// A form in which editors write program files: encoding, byte order mark, line ends, quotes.
struct FileForm {
    const char* name;
    const wchar_t* encoding;                   // declared; nullptr for a declaration without one
    std::string (*encode)(std::wstring_view);  // the file's bytes, with the mark if any
    const wchar_t* lineEnd;                    // of the lines of the file
    const wchar_t* blockLineEnd;               // of the lines inside the first fixture's block
    const wchar_t* quote;                      // of the declaration and the attributes
    const wchar_t* checksum;                   // the root's CRC as written; nullptr for none
    bool doctype = false;  // with a document type whose markup looks like a CDATA section
};

// A program file of that form: its CRC and its two fixture blocks given as written, except that
// each line feed in the first block stands for the form's line end of blocks. A CRC (nullptr for
// none) stands where the form has one, or is added after the root's last attribute.
inline std::wstring ProgramText(const FileForm& form, const wchar_t* checksum,
                                std::wstring_view first, std::wstring_view third) {
    const std::wstring q = form.quote, end = form.lineEnd;
    std::wstring block;
    for (wchar_t c : first)
        block += c == L'\n' ? std::wstring(form.blockLineEnd) : std::wstring(1, c);
    std::wstring text = L"<?xml version=" + q + L"1.0" + q;
    if (form.encoding != nullptr) text += L" encoding=" + q + form.encoding + q;
    text += L"?>" + end + L"<!-- Pr\u00FCfprogramm \u00B5 -->" + end +
            L"<?editor view > <![CDATA[not a section]]> ?>" + end;
    if (form.doctype) {
        text +=
            L"<!DOCTYPE Editor [<!ENTITY q \"a'b<![CDATA[x]]>\"> <!-- ']]> --> <?pi > ?>]>" + end;
    }
    text += L"<Editor xmlns:v=" + q + L"urn:vela" + q + L" Version=" + q + L"3.2" + q;
    if (checksum != nullptr && form.checksum != nullptr) text += L"  CRC = " + q + checksum + q;
    text += L" Name=" + q + L"A&#38;B &#956;" + q + L" v:Note=" + q + L"n" + q;
    if (checksum != nullptr && form.checksum == nullptr)
        text += L" CRC=\"" + std::wstring(checksum) + L"\"";
    text += L">" + end + L"\t<Harness>" + end + L"\t\t<Fixtures>" + end + L"\t\t\t<Fixture Name=" +
            q + L"J1" + q + L"><![CDATA[" + block + L"]]></Fixture>" + end +
            L"\t\t\t<Fixture Name=" + q + L"J2" + q + L"/>" + end + L"\t\t\t<Fixture Name=" + q +
            L"J3" + q + L"><![CDATA[" + std::wstring(third) + L"]]></Fixture>" + end +
            L"\t\t</Fixtures>" + end + L"\t</Harness>" + end + L"</Editor>" + end;
    return text;
}

}  // namespace ostrel::test

namespace ostrel::xml::contract {

// The code and description of the error the action raises; a failure of the test, and S_OK, when
// it raises none.
inline ErrorReport RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return {ErrorCode(error), ErrorDescription(error)};
    }
    ADD_FAILURE() << "nothing was raised";
    return {hr::kOk, L""};
}

// The value of a node, or "<none>" when it has none: readable in failure messages.
inline std::wstring ValueOf(const Node& node) { return node.nodeValue().value_or(L"<none>"); }

// The children of a node as "name=value;" each ("name;" when valueless), children of children
// in brackets: one comparable text for a whole subtree.
inline std::wstring Outline(const Node& parent) {
    std::wstring outline;
    for (Node child = parent.firstChild(); child; child = child.nextSibling()) {
        outline += child.nodeName();
        if (const auto value = child.nodeValue()) outline += L"=" + *value;
        if (child.firstChild()) outline += L"[" + Outline(child) + L"]";
        outline += L";";
    }
    return outline;
}

}  // namespace ostrel::xml::contract
