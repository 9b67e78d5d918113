// The byte-faithful save of the libxml2 backend at its own layer: the markup scanner fed from
// strings, and the plan and copy of a file loaded with libxml2 directly.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <functional>

#include "base/utf8.h"
#include "io/sinks.h"
#include "tests/xml/loaded_source.h"
#include "tests/xml/test_documents.h"
#include "xml/libxml2/markup_scanner.h"

namespace ostrel::xml::libxml2 {
namespace {

// The forms a file's text is written in.
struct Form {
    const char* name;
    int width;  // of a code unit
    bool bigEndian = false;
    bool mark = false;  // a byte order mark first
    // The bytes of UTF-8 text in this form.
    std::string Encode(const std::string& text) const {
        if (width > 1) return EncodeUnits((mark ? "\xEF\xBB\xBF" : "") + text, {width, bigEndian});
        return std::string_view(name) == "UTF-8" ? text : test::SingleByte(FromUtf8(text));
    }
};
// UCS-4 with a mark, which libxml2 does not read, is for the scanner alone.
const Form kForms[] = {{"UTF-8", 1},
                       {"UTF-16", 2, false, true},
                       {"UTF-16BE", 2, true},
                       {"ISO-10646-UCS-4", 4, true},
                       {"UCS-4BE", 4, true, true},
                       {"UCS-4LE", 4, false, true},
                       {"ISO-8859-1", 1}};

// A document with every construct whose end the scanner must find: comments that open as
// "<!-->" and "<!--->", a document type whose comment holds "]]>" and "->", whose quoted value
// holds "]>" and whose instruction holds ">]>", CDATA sections that look like others inside
// comments, values and instructions, and U+3C00, whose other byte is that of '<'.
std::string Sample(const char* encoding) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding +
           "\"?>\r<!DOCTYPE r [<!-- ]]> -> ]> <![CDATA[no]]> --><!ENTITY e "
           "\"a]><![CDATA[no]]>\"><?p >]><![CDATA[no]]>?>"
           "<!ENTITY f 'v'>]>\r"
           "<!--><r a='0'><![CDATA[no]]>--><!---><![CDATA[no]]>--><?pi <![CDATA[no]]>?>\r"
           "<r a=\"1\"  b = '\xC2\xB5'><![CDATA[S1\r\nx]]><!-- <r> "
           "--><s><![CDATA[]]>\xE3\xB0\x80<![CDATA[S3"
           "]]]></s></r>\r";
}

MarkupScanner Scanned(std::string_view bytes, std::size_t piece) {
    MarkupScanner scanner;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        EXPECT_TRUE(scanner.Feed(bytes.substr(at, piece)));
    }
    EXPECT_TRUE(scanner.Feed({}));
    return scanner;
}

TEST(MarkupScanner, FindsTheSameSpansWholeOrInPiecesInEveryForm) {
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        const std::string bytes = form.Encode(Sample(form.name));
        // Where each span must be: found by its encoded neighbours.
        const auto at = [&](const std::string& before) {
            const std::string prefix = form.Encode(before).substr(form.Encode("").size());
            const std::size_t found = bytes.find(prefix, bytes.size() / 3);
            return found == std::string::npos ? found : found + prefix.size();
        };
        const auto units = [&](std::size_t n) { return n * static_cast<std::size_t>(form.width); };
        for (std::size_t piece : {bytes.size(), std::size_t{1}, std::size_t{2}, std::size_t{3},
                                  std::size_t{5}, std::size_t{7}}) {
            SCOPED_TRACE(piece);
            const MarkupScanner scanner = Scanned(bytes, piece);
            ASSERT_TRUE(scanner.usable());
            EXPECT_EQ(scanner.unitWidth(), form.width);
            EXPECT_EQ(scanner.firstLineEnd(), LineEnd::kCr);
            ASSERT_EQ(scanner.sections().size(), 3u);
            const std::size_t first = at("\r<r a=\"1\"  b = '\xC2\xB5'><![CDATA[");
            EXPECT_EQ(scanner.sections()[0].content.begin, first);
            EXPECT_EQ(scanner.sections()[0].content.end, first + units(5));
            EXPECT_EQ(scanner.sections()[0].lineEnd, LineEnd::kCrLf);
            EXPECT_EQ(scanner.sections()[1].content.begin, at("<s><![CDATA["));
            EXPECT_EQ(scanner.sections()[1].content.end, scanner.sections()[1].content.begin);
            EXPECT_EQ(scanner.sections()[2].content.end, at("<![CDATA[S3]"));
            EXPECT_EQ(scanner.rootName().begin, at("?>\r<"));
            ASSERT_EQ(scanner.rootAttributes().size(), 2u);
            EXPECT_EQ(scanner.rootAttributes()[1].value.begin, at("\r<r a=\"1\"  b = '"));
            EXPECT_EQ(scanner.rootInsertion(), at("\r<r a=\"1\"  b = '\xC2\xB5'"));
        }
    }
}

TEST(MarkupScanner, ReadsOnlyEncodingsWhereAsciiBytesAreAscii) {
    for (const char* encoding : {"Shift_JIS", "JOHAB", "Big5", "GBK", "ISO-2022-JP", "UTF-7"}) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{4096}}) {
            EXPECT_FALSE(Scanned(Sample(encoding), piece).usable()) << encoding;
        }
    }
    for (const char* encoding :
         {"EUC-JP", "windows-1252", "KOI8-R", "US-ASCII", "ANSI_X3.4-1968", "UTF8", "ISO_8859-2"}) {
        EXPECT_TRUE(Scanned(Sample(encoding), 1).usable()) << encoding;
    }
    EXPECT_TRUE(Scanned(Form{"", 2, false, true}.Encode("<r/>"), 1).usable());  // no declaration
    EXPECT_EQ(Scanned(std::string("\0\0<\0", 4), 1).unusableReason(),
              "the file's code units are in an order the scanner does not read");
}

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

TEST(SourceCopy, PlansNothingForAnUnchangedFileAndSaysWhyAFileCannotBeCopied) {
    const std::string file =
        "<?xml version='1.0'?>\n<r a='1'><![CDATA[x]]><s xmlns:p='u' "
        "t='2'><v/></s><![CDATA[y]]></r>\n";
    {
        const Loaded loaded(file);
        const CopyPlan plan = loaded.Plan();
        EXPECT_EQ(plan.notCopyable, "");
        EXPECT_TRUE(plan.edits.empty());
        EXPECT_EQ(loaded.Copied(plan), file);
        io::BufferedSink full(0, [](std::string_view) { return hr::kDiskFull; });
        EXPECT_EQ(loaded.CopyTo(plan, full), hr::kDiskFull);
        // Longer than the reader's block of a megabyte by one byte, changed after the block.
        const std::string pad((1 << 20) - 19, ' '), large = "<r>" + pad + "<![CDATA[1]]></r>";
        const Loaded big(large);
        xmlNodeSetContent(big.Section(1), X("2"));
        EXPECT_EQ(big.Copied(big.Plan()), "<r>" + pad + "<![CDATA[2]]></r>");
    }
    const std::string changed =
        "the document changed beyond its root's attribute values and its CDATA sections' text";
    const std::pair<std::function<void(const Loaded&)>, std::string> changes[] = {
        {[](const Loaded& l) { xmlSetProp(l.root()->children->next, X("t"), X("3")); }, changed},
        {[](const Loaded& l) { xmlNodeSetName(l.Section(1)->next, X("u")); }, changed},
        {[](const Loaded& l) {  // the same nodes in another shape
             xmlNodePtr moved = l.Section(2);
             xmlUnlinkNode(moved);
             xmlAddChild(l.Section(1)->next->children, moved);
         },
         changed},
        {[](const Loaded& l) { xmlSetNs(l.Section(1)->next, l.Section(1)->next->nsDef); }, changed},
        {[](const Loaded& l) { xmlNodeSetContent(l.Section(1)->next, X("z")); }, changed},
        {[](const Loaded& l) { xmlNewChild(l.root(), nullptr, X("w"), nullptr); }, changed},
        {[](const Loaded& l) {
             xmlNsPtr ns = l.Section(1)->next->nsDef;
             xmlFree(const_cast<xmlChar*>(ns->prefix));
             ns->prefix = xmlStrdup(X("q"));
         },
         changed},
        {[](const Loaded& l) {  // a value set as content is read for references
             xmlNodeSetContent(reinterpret_cast<xmlNodePtr>(xmlHasProp(l.root(), X("a"))),
                               X("&e;"));
         },
         "a root attribute holds an entity reference"},
        {[](const Loaded& l) {
             xmlSetProp(l.root(), X("b"), X(""));
             xmlSetProp(l.root(), X("c"), X(""));
         },
         "more than one attribute was added to the root"},
        {[](const Loaded& l) { xmlUnsetProp(l.root(), X("a")); },
         "an attribute of the root was removed"},
        {[](const Loaded& l) {  // a root edit planned before it
             xmlSetProp(l.root(), X("a"), X("2"));
             xmlNodeSetContent(l.Section(2), X("a]]>b"));
         },
         "a CDATA section's text holds \"]]>\""},
        {[&file](const Loaded& l) {
             test::WriteBytes(l.path(), std::string(file).replace(file.find('x'), 1, "X"));
         },
         "the file changed since it was read"},
    };
    for (const auto& [change, reason] : changes) {
        const Loaded loaded(file);
        change(loaded);
        EXPECT_EQ(loaded.Plan().notCopyable, reason);
        EXPECT_TRUE(loaded.Plan().edits.empty());
    }
    const std::pair<std::string, std::string> uncopyable[] = {
        {"<?xml version='1.0' encoding='Shift_JIS'?><r/>",
         "the scanner cannot read the file: the encoding SHIFT_JIS may hold ASCII bytes inside "
         "characters"},
        {"<!DOCTYPE r [<!ENTITY e 'v'>]><r a='&e;'/>",
         "a root attribute holds an entity reference"},
        // Defaulted by the document type: the tree has it, the file has not.
        {"<!DOCTYPE r [<!ATTLIST r a CDATA 'v'>]><r/>",
         "the tree's root has attributes the file has not"},
        // Normalised as a name token by the parser, not as the scanner's text.
        {"<!DOCTYPE r [<!ATTLIST r a NMTOKENS #IMPLIED>]><r a=' v  w'/>",
         "the root attribute a is not as the tree has it"},
    };
    for (const auto& [bytes, reason] : uncopyable) {
        EXPECT_EQ(Loaded(bytes).Plan().notCopyable, reason);
    }
    const Loaded latin("<?xml version='1.0' encoding='ISO-8859-1'?><r><![CDATA[]]></r>");
    xmlNodeSetContent(latin.Section(1), X("\xE5\x90\x8D"));  // U+540D
    EXPECT_EQ(latin.Plan().notCopyable,
              "a CDATA section's text has a character without a code in the file's encoding");
    xmlSetProp(latin.root(), X("\xE5\x90\x8D"), X(""));  // the root's tag is planned first
    EXPECT_EQ(latin.Plan().notCopyable,
              "the new attribute's name has no code in the file's encoding");
}

TEST(SourceCopy, CopiesChangesInTheFilesFormAndGuardsTheBytesItReplaces) {
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        if (StartsWith(form.name, "UCS-4")) continue;
        // CR-only line ends in the file; the section's own are CR LF.
        const Loaded loaded(
            form.Encode(std::string("<?xml version=\"1.0\" encoding=\"") + form.name +
                        "\"?>\r<r a=\"&#60;&#x3c;\" b=\"1\r\n\">\r<![CDATA[x\r\ny]]>-<![CDATA[z]]>"
                        "\r</r>\r"));
        const std::string value = "v\"<&\t\xC2\xB5 '";
        xmlSetProp(loaded.root(), X("a"), X(value.c_str()));
        xmlSetProp(loaded.root(), X("b"), X(""));
        xmlSetProp(loaded.root(), X("n"), X(""));
        xmlNodeSetContent(loaded.Section(1), X("p\nq]"));
        // A section without a line end of its own takes the file's.
        xmlNodeSetContent(loaded.Section(2), X("1\n2"));
        const CopyPlan plan = loaded.Plan();
        ASSERT_EQ(plan.notCopyable, "");
        const std::string expected =
            form.Encode(std::string("<?xml version=\"1.0\" encoding=\"") + form.name +
                        "\"?>\r<r a=\"v&#34;&#60;&#38;&#9;&#181; &#39;\" b=\"\" "
                        "n=\"\">\r<![CDATA[p\r\nq]]]>-<![CDATA[1\r2]]>\r</r>\r");
        EXPECT_EQ(loaded.Copied(plan), expected);
        // The bytes an edit replaces must be those planned: a span one unit off is refused.
        CopyPlan shifted = plan;
        for (Edit& edit : shifted.edits) {
            edit.span.begin += static_cast<std::uint64_t>(form.width);
            edit.span.end += static_cast<std::uint64_t>(form.width);
        }
        EXPECT_EQ(loaded.Copied(shifted), "failed " + std::to_string(hr::kSourceChanged));
        CopyPlan swapped = plan;  // edits out of file order
        std::swap(swapped.edits.front(), swapped.edits.back());
        EXPECT_EQ(loaded.Copied(swapped), "failed " + std::to_string(hr::kInvalidArg));
        const Loaded reloaded(expected);
        xmlChar* reread = xmlGetProp(reloaded.root(), X("a"));
        EXPECT_EQ(reinterpret_cast<const char*>(reread), value);
        xmlFree(reread);
    }
}

}  // namespace
}  // namespace ostrel::xml::libxml2
