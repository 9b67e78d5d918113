// What the conversion relies on from a DOM backend, written once against xml/dom.h and run for
// every backend. A backend's test instantiates the suite with a type that has all of
//   static ostrel::HResult Create(ostrel::xml::Document&);  // the backend's factory
//   static const bool kWritesDeclaredEncoding;      // false when saves are always UTF-8
//   static const bool kKeepsAdjacentCDataSections;  // false when the parser merges them
//   static const bool kSurvivesInvalidPaths;        // false when an invalid path may crash it
//   static const bool kLoadsHugeFilesQuickly;       // false when 100 MB take many minutes
//   static const bool kSavesByteForByte;            // false when a save writes the whole tree
// for instance:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Libxml2, DomContractTest, Libxml2Backend);
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "engine/conversion.h"
#include "tests/support/temp_dir.h"
#include "tests/xml/test_documents.h"
#include "xml/dom.h"

namespace ostrel::xml::contract {

using test::TempDir;

template <typename Backend>
class DomContractTest : public ::testing::Test {
  protected:
    // A new document with the settings of a conversion run.
    Document NewDocument() {
        Document document;
        EXPECT_EQ(Backend::Create(document), hr::kOk);
        if (document) engine::ApplyLoadOptions(document);
        return document;
    }

    // Writes a file of the temporary folder and gives its path.
    std::wstring Write(std::wstring_view name, std::string_view bytes) {
        const std::wstring path = temp_.File(name);
        test::WriteBytes(path, bytes);
        return path;
    }

    // Loads the bytes through a file; a failed load fails the test and gives an empty handle.
    Document Loaded(std::string_view bytes, std::wstring_view name = L"source.xml") {
        Document document = NewDocument();
        if (document.load(Write(name, bytes))) return document;
        ADD_FAILURE() << "load failed: " << ToUtf8(Reason(document));
        return Document();
    }

    // The reason of the last failed load; empty when there is none.
    static std::wstring Reason(const Document& document) {
        const ParseError error = document.parseError();
        return error ? error.reason().value_or(L"") : L"";
    }

    // Saves the document to a new file and gives the bytes written.
    std::string SavedBytes(const Document& document, std::wstring_view name = L"saved.xml") {
        const std::wstring path = temp_.File(name);
        EXPECT_EQ(document.save(path), hr::kOk);
        return test::ReadBytes(path).value_or("");
    }

    // Saves the document and loads the file into a new document.
    Document Reloaded(const Document& document, std::string* savedBytes = nullptr) {
        const std::string bytes = SavedBytes(document, L"reloaded.xml");
        if (savedBytes != nullptr) *savedBytes = bytes;
        return Loaded(bytes, L"reloaded-copy.xml");
    }

    // Loads a file that a hostile or broken document might be: it must give false with a
    // reason, or load. Gives the load's result.
    bool LoadsOrExplains(Document& document, std::string_view bytes) {
        document = NewDocument();
        if (document.load(Write(L"hostile.xml", bytes))) return true;
        EXPECT_FALSE(Reason(document).empty());
        return false;
    }

    TempDir temp_;
};

TYPED_TEST_SUITE_P(DomContractTest);

TYPED_TEST_P(DomContractTest, EmptyHandlesTestFalseAndRaisePointerErrors) {
    const Node node;
    const Element element;
    const Attribute attribute;
    const CDataSection section;
    const Document document;
    const ParseError error;
    EXPECT_FALSE(node || element || document || error);
    EXPECT_TRUE(node == Node());
    Document loaded = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(loaded);
    const Element root = loaded.selectSingleNode(L"/Editor").asElement();
    ASSERT_TRUE(root);
    const std::function<void()> operations[] = {
        [&] { node.firstChild(); },        [&] { node.nextSibling(); },
        [&] { node.nodeName(); },          [&] { node.nodeValue(); },
        [&] { node.asElement(); },         [&] { element.ownerDocument(); },
        [&] { attribute.putValue(L"x"); }, [&] { section.putText(L"x"); },
        [&] { document.load(L"x.xml"); },  [&] { document.selectSingleNode(L"/Editor"); },
        [&] { error.reason(); },           [&] { root.setAttributeNode(attribute); }};
    for (size_t i = 0; i < std::size(operations); ++i) {
        EXPECT_EQ(RaisedBy(operations[i]).code, hr::kPointer) << "operation " << i;
    }
}

TYPED_TEST_P(DomContractTest, NamesValuesAndViewsOfEveryKindOfNode) {
    Document document = this->Loaded(test::kEveryKindFile);
    ASSERT_TRUE(document);
    EXPECT_EQ(document.nodeName(), L"#document");
    EXPECT_FALSE(document.nodeValue().has_value());
    EXPECT_FALSE(document.asElement());
    const Node root = document.selectSingleNode(L"/Fixtures");
    ASSERT_TRUE(root);
    EXPECT_EQ(root.nodeName(), L"Fixtures");
    EXPECT_FALSE(root.nodeValue().has_value());
    EXPECT_TRUE(root.asElement());
    EXPECT_FALSE(root.asCDataSection());
    // The processing instruction may have any name but those the walk looks for.
    Node instruction = root.firstChild();
    for (int i = 0; i < 3 && instruction; ++i) instruction = instruction.nextSibling();
    ASSERT_TRUE(instruction);
    const std::wstring name = instruction.nodeName();
    EXPECT_TRUE(!name.empty() && name != L"#cdata-section" && name != L"#comment");
    EXPECT_EQ(Outline(root), L"#text=\n  ;v:Fixture;#comment= note ;" + name +
                                 L"=data;#cdata-section= a ;#text=tail;");
    for (Node child = root.firstChild(); child; child = child.nextSibling()) {
        EXPECT_EQ(static_cast<bool>(child.asElement()), child.nodeName() == L"v:Fixture");
        EXPECT_EQ(static_cast<bool>(child.asCDataSection()), child.nodeName() == L"#cdata-section");
    }
}

TYPED_TEST_P(DomContractTest, CDataSectionsKeepExactContentAndTakeNewText) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Node fixture = document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
    const auto around = [](std::wstring_view block) {
        return L"#text=\n\t\t\t\t;#cdata-section=" + std::wstring(block) + L";#text=\n\t\t\t;";
    };
    EXPECT_EQ(Outline(fixture), around(test::kFirstBlock));
    // By name, not position: MSXML's default query language counts positions from 0.
    EXPECT_EQ(Outline(document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture[@Name='J2']")),
              L"#cdata-section=  20,S1,G1  ;");

    const CDataSection section = fixture.firstChild().nextSibling().asCDataSection();
    ASSERT_TRUE(section);
    const std::wstring block = L"\n\t\t\t\t12\n\t\t\t\t13\n\t\t\t\t\u00B5 <&> ";
    section.putText(block);
    EXPECT_EQ(Outline(fixture), around(block));
    const std::wstring editor = Outline(document.selectSingleNode(L"/Editor"));
    Document reloaded = this->Reloaded(document);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(Outline(reloaded.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture")),
              around(block));
    EXPECT_EQ(Outline(reloaded.selectSingleNode(L"/Editor")), editor);  // nothing else changed
}

TYPED_TEST_P(DomContractTest, AdjacentCDataSectionsStayApart) {
    if (!TypeParam::kKeepsAdjacentCDataSections) GTEST_SKIP() << "the parser merges them";
    Document document = this->Loaded("<Fixture><![CDATA[12]]><![CDATA[14]]><![CDATA[]]></Fixture>");
    ASSERT_TRUE(document);
    EXPECT_EQ(Outline(document.selectSingleNode(L"/Fixture")),
              L"#cdata-section=12;#cdata-section=14;#cdata-section=;");
}

TYPED_TEST_P(DomContractTest, SelectSingleNodeGivesTheFirstMatchOrNothing) {
    EXPECT_FALSE(this->NewDocument().selectSingleNode(L"/Editor"));
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    std::wstring found;
    for (const wchar_t* path :
         {L"/Editor", L"/Editor/Harness/Fixtures", L"/Harness",
          L"/Editor/Harness/Fixtures/Fixture/@Name", L"/Editor/Fixtures", L"/editor"}) {
        const Node node = document.selectSingleNode(path);
        found += node ? node.nodeName() + L"=" + ValueOf(node) + L";" : L"-;";
    }
    EXPECT_EQ(found, L"Editor=<none>;Fixtures=<none>;-;Name=J1;-;-;");
    EXPECT_EQ(document.selectSingleNode(L"/").nodeName(), L"#document");
}

TYPED_TEST_P(DomContractTest, SelectSingleNodeRaisesForAnInvalidPath) {
    if (!TypeParam::kSurvivesInvalidPaths) GTEST_SKIP() << "the service may crash on it";
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const ErrorReport error = RaisedBy([&] { document.selectSingleNode(L"/Editor["); });
    EXPECT_TRUE(hr::Failed(error.code));
    EXPECT_FALSE(error.description.empty());
}

TYPED_TEST_P(DomContractTest, SetAttributeNodeReplacesOrAdds) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Element root = document.selectSingleNode(L"/Editor").asElement();
    ASSERT_TRUE(root);
    const Document owner = root.ownerDocument();
    EXPECT_EQ(owner.nodeName(), L"#document");
    const Attribute crc = owner.createAttribute(L"CRC");
    crc.putValue(L"");
    const Attribute replaced = root.setAttributeNode(crc);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced.nodeName(), L"CRC");
    EXPECT_EQ(ValueOf(replaced), L"5A17C3E9");
    const std::wstring special = L"a\"<&>b \u00B5";
    const Attribute spare = owner.createAttribute(L"Spare");
    spare.putValue(special);
    EXPECT_FALSE(root.setAttributeNode(spare));

    Document reloaded = this->Reloaded(document);
    ASSERT_TRUE(reloaded);
    for (const Document& copy : {document, reloaded}) {
        EXPECT_EQ(ValueOf(copy.selectSingleNode(L"/Editor/@CRC")), L"");
        EXPECT_EQ(ValueOf(copy.selectSingleNode(L"/Editor/@Spare")), special);
        EXPECT_EQ(ValueOf(copy.selectSingleNode(L"/Editor/@Version")), L"3.2");
    }
    // A value set after attaching counts as well, and the replaced attribute stays usable.
    crc.putValue(L"00FF");
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@CRC")), L"00FF");
    EXPECT_EQ(ValueOf(replaced), L"5A17C3E9");
}

TYPED_TEST_P(DomContractTest, HeldNodesOutliveTheirDocument) {
    Node fixture;
    Attribute unattached;
    {
        Document document = this->Loaded(test::kProgramFile);
        ASSERT_TRUE(document);
        fixture = document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
        unattached = document.createAttribute(L"Spare");
        unattached.putValue(L"kept");
    }
    ASSERT_TRUE(fixture);
    EXPECT_EQ(ValueOf(fixture.firstChild().nextSibling()), test::kFirstBlock);
    EXPECT_EQ(ValueOf(unattached), L"kept");
    // A document that has loaded nothing makes attributes too.
    EXPECT_EQ(this->NewDocument().createAttribute(L"Spare").nodeName(), L"Spare");
}

TYPED_TEST_P(DomContractTest, LoadFailuresGiveFalseAndAReason) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    const std::wstring failing[] = {
        this->temp_.File(L"missing.xml"),
        this->temp_.path(),
        this->Write(L"empty.xml", ""),
        this->Write(L"malformed.xml", "<Editor>\n  <Harness>\n</Editor>\n"),
        this->Write(L"garbage.xml", garbage),
        this->Write(L"truncated.xml", test::kProgramFile.substr(0, 120)),
        this->Write(L"unfinished.xml", "<Editor><![CDATA[12</Editor>\n<Editor>more</Editor>\n"),
    };
    const std::wstring good = this->Write(L"good.xml", test::kProgramFile);
    for (const std::wstring& path : failing) {
        SCOPED_TRACE(ToUtf8(path));
        Document document = this->NewDocument();
        ASSERT_TRUE(document.load(good));
        EXPECT_TRUE(document.parseError());  // an error object, saying nothing
        EXPECT_FALSE(document.load(path));
        const std::wstring reason = this->Reason(document);
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find_first_of(L"\r\n"), std::wstring::npos)
            << "one line: " << ToUtf8(reason);
        EXPECT_FALSE(document.firstChild());  // the failed load leaves the document empty
        ASSERT_TRUE(document.load(good));
        EXPECT_EQ(this->Reason(document), L"");  // and the next one forgets the failure
    }
}

TYPED_TEST_P(DomContractTest, WhiteSpaceIsKeptOnlyWhenPreserved) {
    const std::string_view file = "<Fixtures>\n\t<Fixture/>\n</Fixtures>";
    Document preserved = this->Loaded(file);
    ASSERT_TRUE(preserved);
    EXPECT_EQ(Outline(preserved.selectSingleNode(L"/Fixtures")), L"#text=\n\t;Fixture;#text=\n;");
    Document byDefault;  // nothing set: dropped
    ASSERT_EQ(TypeParam::Create(byDefault), hr::kOk);
    ASSERT_TRUE(byDefault.load(this->Write(L"source.xml", file)));
    EXPECT_EQ(Outline(byDefault.selectSingleNode(L"/Fixtures")), L"Fixture;");
}

TYPED_TEST_P(DomContractTest, HostileFilesFailClearlyOrLoadHarmlessly) {
    this->Write(L"secret.txt", "LEAKED-ENTITY");
    this->Write(L"outside.dtd", "<!ATTLIST Editor Leak CDATA \"LEAKED-DEFAULT\">");
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE Editor [\n<!ENTITY l0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        bomb += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) bomb += "&l" + std::to_string(level - 1) + ";";
        bomb += "\">\n";
    }
    bomb += "]>\n<Editor A=\"&l9;\">&l9;</Editor>\n";
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += i < 100000 ? "<a>" : "</a>";
    const std::pair<std::string, bool> files[] = {
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE Editor [<!ENTITY s SYSTEM \"secret.txt\">]>\n"
         "<Editor>&s;</Editor>\n",
         true},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE Editor SYSTEM \"outside.dtd\">\n<Editor/>\n", true},
        {bomb, true},
        {deep, false}};
    for (const auto& [file, mayLoad] : files) {
        SCOPED_TRACE(file.substr(0, 80));
        Document document;
        if (!this->LoadsOrExplains(document, file)) continue;
        EXPECT_TRUE(mayLoad);
        // External content was not fetched, entities were not expanded beyond reason.
        EXPECT_FALSE(document.selectSingleNode(L"/Editor/@Leak"));
        const std::string saved = this->SavedBytes(document);
        EXPECT_LT(saved.size(), 10000u);
        EXPECT_EQ(saved.find("LEAKED"), std::string::npos);
        EXPECT_EQ(saved.find("lollollol"), std::string::npos);
    }
}

TYPED_TEST_P(DomContractTest, HugeSectionFailsClearlyOrLoadsWhole) {
    if (!TypeParam::kLoadsHugeFilesQuickly) GTEST_SKIP() << "the service is too slow for it";
    const size_t size = 100u << 20;
    std::string file = "<Editor><![CDATA[";
    file.append(size, 'x');
    file += "]]></Editor>";
    Document document;
    const bool loaded = this->LoadsOrExplains(document, file);
    file = std::string();
    if (loaded) {
        const Node content = document.selectSingleNode(L"/Editor").firstChild();
        ASSERT_TRUE(content);
        EXPECT_EQ(content.nodeValue().value_or(L"").size(), size);
    }
}

// The forms the byte-for-byte saves are tried on: every encoding, mark, line end and quote.
inline const test::FileForm kForms[] = {
    {"UTF-8", L"UTF-8", [](std::wstring_view t) { return ToUtf8(t); }, L"\n", L"\n", L"\"",
     L"5A17C3E9"},
    {"UTF-8 with mark, CR LF, CRC as a reference", L"UTF-8",
     [](std::wstring_view t) { return "\xEF\xBB\xBF" + ToUtf8(t); }, L"\r\n", L"\r\n", L"\"",
     L"&#53;A17C3E9"},
    {"no encoding declared, mixed line ends, single quotes", nullptr,
     [](std::wstring_view t) { return ToUtf8(t); }, L"\n", L"\r\n", L"'", L"1"},
    {"UTF-16 little-endian", L"UTF-16", test::Utf16LeWithBom, L"\r\n", L"\r\n", L"\"", L"1"},
    {"UTF-16 big-endian, a document type", L"UTF-16", test::Utf16BeWithBom, L"\n", L"\n", L"'",
     L"1", true},
    {"UTF-16 without a mark", L"UTF-16", test::Utf16LeWithoutBom, L"\n", L"\n", L"\"", L"1"},
    {"ISO-8859-1", L"ISO-8859-1", test::SingleByte, L"\n", L"\n", L"'", L"5A17C3E9"},
    {"windows-1252 without CRC", L"windows-1252", test::SingleByte, L"\r\n", L"\r\n", L"\"",
     nullptr},
};
inline constexpr wchar_t kThird[] = L"20,S1";
// The first block; where the encoding has every character, a pin line holds one beyond the Basic
// Multilingual Plane.
inline std::wstring FirstBlock(const test::FileForm& form) {
    const bool unicode =
        form.encoding == nullptr || std::wstring(form.encoding).rfind(L"UTF", 0) == 0;
    return std::wstring(L"\n\t\t\t\t12\n\t\t\t\t13,A7") +
           std::wstring(unicode ? L"\n\t\t\t\t14,A7,\U0001D11E" : L"") + L"\n\t\t\t";
}

TYPED_TEST_P(DomContractTest, SavesUnchangedFilesByteForByte) {
    std::vector<std::string> files{
        test::ReadBytes(test::SourceFile(L"examples/sample.vlf")).value()};
    if (TypeParam::kSavesByteForByte) {
        for (const auto& form : kForms) {
            files.push_back(
                form.encode(test::ProgramText(form, form.checksum, FirstBlock(form), kThird)));
        }
    }
    for (const std::string& file : files) {
        Document document = this->Loaded(file);
        ASSERT_TRUE(document);
        EXPECT_EQ(this->SavedBytes(document), file);
    }
    // A failed save gives the file writer's code.
    Document document = this->Loaded(files[0]);
    EXPECT_EQ(document.save(this->temp_.File(L"missing") + L"/saved.vlf"), hr::kInvalidArg);
}

TYPED_TEST_P(DomContractTest, RoundTripsEveryEncodingOfProgramFiles) {
    // Ω has no code in the single-byte encodings: their files hold it as a character reference.
    // The euro sign is 0x80 in windows-1252.
    const std::wstring unicode(test::kNonAscii), singleByte = L"\u00B5&#937;\u00E9";
    const struct {
        const wchar_t* encoding;
        std::string (*bytes)(std::wstring_view);  // the encoder, with the byte order mark if any
        std::wstring nonAscii, cdata;
    } cases[] = {
        {L"UTF-8", [](std::wstring_view text) { return ToUtf8(text); }, unicode, L"C" + unicode},
        {L"UTF-16", test::Utf16LeWithBom, unicode, L"C" + unicode},
        {L"ISO-8859-1", test::SingleByte, singleByte, L"C\u00B5\u00E9"},
        {L"windows-1252", test::SingleByte, singleByte, L"C\u00B5\u00E9\u20AC"}};
    for (const auto& c : cases) {
        const std::wstring encoding = c.encoding;
        SCOPED_TRACE(ToUtf8(encoding));
        Document document = this->Loaded(c.bytes(
            L"<?xml version=\"1.0\" encoding=\"" + encoding + L"\"?>\n<Editor Name=\"A" +
            c.nonAscii + L"\">T" + c.nonAscii + L"<![CDATA[" + c.cdata + L"]]></Editor>\n"));
        // Wine's MSXML writes UTF-8 under any declaration: such a file is not read again.
        const bool savesAsDeclared = TypeParam::kWritesDeclaredEncoding || encoding == L"UTF-8";
        std::string saved;
        const Document reloaded = savesAsDeclared ? this->Reloaded(document, &saved) : document;
        for (const Document& copy : {document, reloaded}) {
            ASSERT_TRUE(copy);
            EXPECT_EQ(ValueOf(copy.selectSingleNode(L"/Editor/@Name")), L"A" + unicode);
            EXPECT_EQ(Outline(copy.selectSingleNode(L"/Editor")),
                      L"#text=T" + unicode + L";#cdata-section=" + c.cdata + L";");
        }
        if (!savesAsDeclared) continue;
        const std::string mark = c.bytes(L"");
        const auto encoded = [&](const std::wstring& text) {
            return c.bytes(text).substr(mark.size());
        };
        EXPECT_EQ(saved.rfind(mark, 0), 0u);
        EXPECT_NE(saved.find(encoded(L"encoding=\"" + encoding + L"\"")), std::string::npos);
        EXPECT_NE(saved.find(encoded(L"<![CDATA[" + c.cdata + L"]]>")), std::string::npos);
    }
}

REGISTER_TYPED_TEST_SUITE_P(DomContractTest, EmptyHandlesTestFalseAndRaisePointerErrors,
                            NamesValuesAndViewsOfEveryKindOfNode,
                            CDataSectionsKeepExactContentAndTakeNewText,
                            AdjacentCDataSectionsStayApart,
                            SelectSingleNodeGivesTheFirstMatchOrNothing,
                            SelectSingleNodeRaisesForAnInvalidPath, SetAttributeNodeReplacesOrAdds,
                            HeldNodesOutliveTheirDocument, LoadFailuresGiveFalseAndAReason,
                            WhiteSpaceIsKeptOnlyWhenPreserved,
                            HostileFilesFailClearlyOrLoadHarmlessly,
                            HugeSectionFailsClearlyOrLoadsWhole, SavesUnchangedFilesByteForByte,
                            RoundTripsEveryEncodingOfProgramFiles);

}  // namespace ostrel::xml::contract
