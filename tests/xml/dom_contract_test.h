// What the conversion relies on from a DOM backend, written once against xml/dom.h and run for
// every backend. A backend's test instantiates the suite with a type that has
//   static ostrel::HResult Create(ostrel::xml::Document&);   // the backend's factory
//   static constexpr bool kWritesDeclaredEncoding;            // false when saves are always UTF-8
// and may have (all true when absent; Wine's MSXML has them false)
//   static const bool kKeepsAdjacentCDataSections;  // false when the parser merges them
//   static const bool kSurvivesInvalidPaths;        // false when an invalid path may crash it
//   static const bool kLoadsHugeFilesQuickly;       // false when 100 MB take many minutes
// for instance:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Libxml2, DomContractTest, Libxml2Backend);
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/utf8.h"
#include "tests/support/temp_dir.h"
#include "tests/xml/test_documents.h"
#include "xml/dom.h"

namespace ostrel::xml::contract {

using test::TempDir;

// Success when `operation` raises DomError with `code`.
template <typename Operation>
::testing::AssertionResult RaisesDomError(Operation operation, HResult code) {
    try {
        operation();
    } catch (const DomError& error) {
        if (ErrorCode(error) == code) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "raised code " << std::hex << static_cast<unsigned>(ErrorCode(error));
    }
    return ::testing::AssertionFailure() << "raised nothing";
}

// The value of a node, or "<none>" when it has none: readable in failure messages.
inline std::wstring ValueOf(const Node& node) { return node.nodeValue().value_or(L"<none>"); }

// The optional traits of a backend: true unless the backend declares them false.
template <typename Backend>
auto KeepsAdjacentCDataSections(int) -> decltype(bool{Backend::kKeepsAdjacentCDataSections}) {
    return Backend::kKeepsAdjacentCDataSections;
}
template <typename Backend>
bool KeepsAdjacentCDataSections(long) {
    return true;
}
template <typename Backend>
auto SurvivesInvalidPaths(int) -> decltype(bool{Backend::kSurvivesInvalidPaths}) {
    return Backend::kSurvivesInvalidPaths;
}
template <typename Backend>
bool SurvivesInvalidPaths(long) {
    return true;
}
template <typename Backend>
auto LoadsHugeFilesQuickly(int) -> decltype(bool{Backend::kLoadsHugeFilesQuickly}) {
    return Backend::kLoadsHugeFilesQuickly;
}
template <typename Backend>
bool LoadsHugeFilesQuickly(long) {
    return true;
}

template <typename Backend>
class DomContractTest : public ::testing::Test {
  protected:
    // A new document with the settings of a conversion run.
    Document NewDocument(bool preserveWhiteSpace = true) {
        Document document;
        EXPECT_EQ(Backend::Create(document), hr::kOk);
        if (document) {
            document.putAsync(false);
            document.putResolveExternals(false);
            document.putPreserveWhiteSpace(preserveWhiteSpace);
        }
        return document;
    }

    // Writes a file of the temporary folder and gives its path.
    std::wstring Write(std::wstring_view name, std::string_view bytes) {
        const std::wstring path = temp_.File(name);
        test::WriteBytes(path, bytes);
        return path;
    }

    // Loads the bytes through a file; a failed load fails the test and gives an empty handle.
    Document Loaded(std::string_view bytes, bool preserveWhiteSpace = true,
                    std::wstring_view name = L"source.xml") {
        const std::wstring path = Write(name, bytes);
        Document document = NewDocument(preserveWhiteSpace);
        if (!document.load(path)) {
            ADD_FAILURE() << "load failed: " << io::ToUtf8(Reason(document));
            return Document();
        }
        return document;
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
        return Loaded(bytes, true, L"reloaded-copy.xml");
    }

    // Loads a file that a hostile or broken document might be: it must give false with a
    // reason, or load. Gives the load's result.
    bool LoadsOrExplains(Document& document, std::string_view bytes) {
        const std::wstring path = Write(L"hostile.xml", bytes);
        document = NewDocument();
        if (document.load(path)) return true;
        EXPECT_FALSE(Reason(document).empty());
        return false;
    }

    // Checks the sample of the encoding tests: the root's Name attribute, its text and its
    // CDATA section, all carrying non-ASCII characters.
    void ExpectEncodingSample(const Document& document, std::wstring_view cdataText) {
        ASSERT_TRUE(document);
        const Node root = document.selectSingleNode(L"/Editor");
        ASSERT_TRUE(root);
        EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@Name")),
                  L"A" + std::wstring(test::kNonAscii));
        const Node text = root.firstChild();
        ASSERT_TRUE(text);
        EXPECT_EQ(ValueOf(text), L"T" + std::wstring(test::kNonAscii));
        const Node cdata = text.nextSibling();
        ASSERT_TRUE(cdata);
        EXPECT_EQ(cdata.nodeName(), L"#cdata-section");
        EXPECT_EQ(ValueOf(cdata), cdataText);
    }

    TempDir temp_;
};

TYPED_TEST_SUITE_P(DomContractTest);

// ---- Handles ----

TYPED_TEST_P(DomContractTest, EmptyHandlesTestFalseAndRaisePointerErrors) {
    const Node node;
    const Element element;
    const Attribute attribute;
    const CDataSection section;
    const Document document;
    const ParseError error;
    EXPECT_FALSE(node);
    EXPECT_FALSE(element);
    EXPECT_FALSE(document);
    EXPECT_FALSE(error);
    EXPECT_TRUE(node == Node());

    EXPECT_TRUE(RaisesDomError([&] { node.firstChild(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { node.nextSibling(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { node.nodeName(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { node.nodeValue(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { node.asElement(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { element.ownerDocument(); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { attribute.putValue(L"x"); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { section.putText(L"x"); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { document.load(L"x.xml"); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { document.selectSingleNode(L"/Editor"); }, hr::kPointer));
    EXPECT_TRUE(RaisesDomError([&] { error.reason(); }, hr::kPointer));

    // An empty attribute given to a real element.
    Document loaded = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(loaded);
    const Element root = loaded.selectSingleNode(L"/Editor").asElement();
    ASSERT_TRUE(root);
    EXPECT_TRUE(RaisesDomError([&] { root.setAttributeNode(attribute); }, hr::kPointer));
}

TYPED_TEST_P(DomContractTest, NamesEveryKindOfNodeInDocumentOrder) {
    Document document = this->Loaded(test::kEveryKindFile);
    ASSERT_TRUE(document);
    EXPECT_EQ(document.nodeName(), L"#document");
    const Node root = document.selectSingleNode(L"/Fixtures");
    ASSERT_TRUE(root);
    EXPECT_EQ(root.nodeName(), L"Fixtures");

    Node child = root.firstChild();
    ASSERT_TRUE(child);
    EXPECT_EQ(child.nodeName(), L"#text");
    EXPECT_EQ(ValueOf(child), L"\n  ");
    child = child.nextSibling();
    ASSERT_TRUE(child);
    EXPECT_EQ(child.nodeName(), L"v:Fixture");
    EXPECT_FALSE(child.nodeValue().has_value());
    EXPECT_FALSE(child.firstChild());
    child = child.nextSibling();
    ASSERT_TRUE(child);
    EXPECT_EQ(child.nodeName(), L"#comment");
    EXPECT_EQ(ValueOf(child), L" note ");
    child = child.nextSibling();
    ASSERT_TRUE(child);  // the processing instruction: any name but those the walk looks for
    EXPECT_FALSE(child.nodeName().empty());
    EXPECT_NE(child.nodeName(), L"#cdata-section");
    EXPECT_NE(child.nodeName(), L"#comment");
    child = child.nextSibling();
    ASSERT_TRUE(child);
    EXPECT_EQ(child.nodeName(), L"#cdata-section");
    EXPECT_EQ(ValueOf(child), L" a ");
    EXPECT_FALSE(child.firstChild());
    child = child.nextSibling();
    ASSERT_TRUE(child);
    EXPECT_EQ(child.nodeName(), L"#text");
    EXPECT_EQ(ValueOf(child), L"tail");
    EXPECT_FALSE(child.nextSibling());
}

TYPED_TEST_P(DomContractTest, ElementsAndDocumentsHaveNoValueAttributesDo) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    EXPECT_FALSE(document.nodeValue().has_value());
    const Node root = document.selectSingleNode(L"/Editor");
    ASSERT_TRUE(root);
    EXPECT_FALSE(root.nodeValue().has_value());
    const Node crc = document.selectSingleNode(L"/Editor/@CRC");
    ASSERT_TRUE(crc);
    EXPECT_EQ(crc.nodeName(), L"CRC");
    EXPECT_EQ(ValueOf(crc), L"5A17C3E9");
}

TYPED_TEST_P(DomContractTest, TypedViewsAreEmptyForOtherKinds) {
    Document document = this->Loaded(test::kEveryKindFile);
    ASSERT_TRUE(document);
    const Node root = document.selectSingleNode(L"/Fixtures");
    ASSERT_TRUE(root);
    EXPECT_TRUE(root.asElement());
    EXPECT_FALSE(root.asCDataSection());
    EXPECT_FALSE(document.asElement());
    for (Node child = root.firstChild(); child; child = child.nextSibling()) {
        const bool isElement = child.nodeName() == L"v:Fixture";
        const bool isSection = child.nodeName() == L"#cdata-section";
        EXPECT_EQ(static_cast<bool>(child.asElement()), isElement);
        EXPECT_EQ(static_cast<bool>(child.asCDataSection()), isSection);
    }
}

// ---- CDATA sections ----

TYPED_TEST_P(DomContractTest, KeepsCDataSectionsWithExactContent) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Node fixture = document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
    ASSERT_TRUE(fixture);
    const Node space = fixture.firstChild();
    ASSERT_TRUE(space);
    EXPECT_EQ(space.nodeName(), L"#text");
    const Node section = space.nextSibling();
    ASSERT_TRUE(section);
    EXPECT_EQ(section.nodeName(), L"#cdata-section");
    EXPECT_EQ(ValueOf(section), test::kFirstBlock);

    // By name, not position: MSXML's default query language counts positions from 0.
    const Node second =
        document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture[@Name='J2']");
    ASSERT_TRUE(second);
    ASSERT_TRUE(second.firstChild());
    EXPECT_EQ(ValueOf(second.firstChild()), L"  20,S1,G1  ");
}

TYPED_TEST_P(DomContractTest, AdjacentCDataSectionsStayApart) {
    if (!KeepsAdjacentCDataSections<TypeParam>(0)) GTEST_SKIP() << "the parser merges them";
    Document document =
        this->Loaded("<Fixture><![CDATA[12]]><![CDATA[14]]><![CDATA[]]></Fixture>");
    ASSERT_TRUE(document);
    std::wstring sections;
    for (Node child = document.selectSingleNode(L"/Fixture").firstChild(); child;
         child = child.nextSibling()) {
        sections += child.nodeName() + L"=" + ValueOf(child) + L";";
    }
    EXPECT_EQ(sections, L"#cdata-section=12;#cdata-section=14;#cdata-section=;");
}

TYPED_TEST_P(DomContractTest, PutTextReplacesTheSectionThroughSaveAndLoad) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Node fixture = document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
    ASSERT_TRUE(fixture);
    const CDataSection section = fixture.firstChild().nextSibling().asCDataSection();
    ASSERT_TRUE(section);
    const std::wstring block = L"\n\t\t\t\t12\n\t\t\t\t13\n\t\t\t\t\u00B5 <&> ";
    section.putText(block);
    EXPECT_EQ(section.nodeName(), L"#cdata-section");
    EXPECT_EQ(ValueOf(section), block);

    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    EXPECT_NE(saved.find("<![CDATA[\n\t\t\t\t12\n\t\t\t\t13\n"), std::string::npos) << saved;
    ASSERT_TRUE(reloaded);
    const Node again = reloaded.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
    ASSERT_TRUE(again);
    const Node reloadedSection = again.firstChild().nextSibling();
    ASSERT_TRUE(reloadedSection);
    EXPECT_EQ(reloadedSection.nodeName(), L"#cdata-section");
    EXPECT_EQ(ValueOf(reloadedSection), block);
    // The neighbours are untouched.
    EXPECT_EQ(ValueOf(again.firstChild()), L"\n\t\t\t\t");
    const Node second =
        reloaded.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture[@Name='J2']");
    ASSERT_TRUE(second);
    EXPECT_EQ(ValueOf(second.firstChild()), L"  20,S1,G1  ");
}

// ---- Selection ----

TYPED_TEST_P(DomContractTest, SelectSingleNodeGivesTheFirstMatchOrNothing) {
    Document empty = this->NewDocument();
    EXPECT_FALSE(empty.selectSingleNode(L"/Editor"));

    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Node root = document.selectSingleNode(L"/Editor");
    ASSERT_TRUE(root);
    EXPECT_EQ(root.nodeName(), L"Editor");
    const Node fixtures = document.selectSingleNode(L"/Editor/Harness/Fixtures");
    ASSERT_TRUE(fixtures);
    EXPECT_EQ(fixtures.nodeName(), L"Fixtures");
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture/@Name")), L"J1");

    EXPECT_FALSE(document.selectSingleNode(L"/Harness"));
    EXPECT_FALSE(document.selectSingleNode(L"/Editor/Fixtures"));
    EXPECT_FALSE(document.selectSingleNode(L"/editor"));
}

TYPED_TEST_P(DomContractTest, SelectSingleNodeRaisesForAnInvalidPath) {
    if (!SurvivesInvalidPaths<TypeParam>(0)) GTEST_SKIP() << "the service may crash on it";
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    try {
        document.selectSingleNode(L"/Editor[");
        ADD_FAILURE() << "an invalid path raised nothing";
    } catch (const DomError& error) {
        EXPECT_TRUE(hr::Failed(ErrorCode(error)));
        EXPECT_FALSE(ErrorDescription(error).empty());
    }
}

// ---- Attributes ----

TYPED_TEST_P(DomContractTest, SetAttributeNodeReplacesAndGivesTheReplacedAttribute) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    const Element root = document.selectSingleNode(L"/Editor").asElement();
    ASSERT_TRUE(root);
    const Document owner = root.ownerDocument();
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner.nodeName(), L"#document");

    const Attribute crc = owner.createAttribute(L"CRC");
    ASSERT_TRUE(crc);
    EXPECT_EQ(crc.nodeName(), L"CRC");
    crc.putValue(L"");
    const Attribute replaced = root.setAttributeNode(crc);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced.nodeName(), L"CRC");
    EXPECT_EQ(ValueOf(replaced), L"5A17C3E9");
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@CRC")), L"");
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@Version")), L"3.2");

    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    EXPECT_NE(saved.find("CRC=\"\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("5A17C3E9"), std::string::npos) << saved;
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(ValueOf(reloaded.selectSingleNode(L"/Editor/@CRC")), L"");

    // A value set after attaching counts as well, and the replaced attribute stays usable.
    crc.putValue(L"00FF");
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@CRC")), L"00FF");
    EXPECT_EQ(ValueOf(replaced), L"5A17C3E9");
}

TYPED_TEST_P(DomContractTest, SetAttributeNodeAddsAMissingAttribute) {
    Document document = this->Loaded("<Editor Version=\"1\"><Harness/></Editor>");
    ASSERT_TRUE(document);
    const Element root = document.selectSingleNode(L"/Editor").asElement();
    ASSERT_TRUE(root);
    const Attribute crc = root.ownerDocument().createAttribute(L"CRC");
    crc.putValue(L"a\"<&>b \u00B5");
    EXPECT_FALSE(root.setAttributeNode(crc));
    EXPECT_EQ(ValueOf(document.selectSingleNode(L"/Editor/@CRC")), L"a\"<&>b \u00B5");

    Document reloaded = this->Reloaded(document);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(ValueOf(reloaded.selectSingleNode(L"/Editor/@CRC")), L"a\"<&>b \u00B5");
    EXPECT_EQ(ValueOf(reloaded.selectSingleNode(L"/Editor/@Version")), L"1");
    EXPECT_TRUE(reloaded.selectSingleNode(L"/Editor/Harness"));
}

TYPED_TEST_P(DomContractTest, UnattachedAttributesAndHeldNodesOutliveTheirDocument) {
    Node fixture;
    Attribute unattached;
    {
        Document document = this->Loaded(test::kProgramFile);
        ASSERT_TRUE(document);
        fixture = document.selectSingleNode(L"/Editor/Harness/Fixtures/Fixture");
        unattached = document.createAttribute(L"Spare");
        unattached.putValue(L"kept");
        document.createAttribute(L"Dropped");  // never attached nor held
    }
    ASSERT_TRUE(fixture);
    EXPECT_EQ(fixture.nodeName(), L"Fixture");
    EXPECT_EQ(ValueOf(fixture.firstChild().nextSibling()), test::kFirstBlock);
    EXPECT_EQ(ValueOf(unattached), L"kept");

    // A node of a document that has loaded another file since still reads its own tree.
    Document document = this->Loaded(test::kProgramFile, true, L"first.xml");
    ASSERT_TRUE(document);
    const Node root = document.selectSingleNode(L"/Editor");
    ASSERT_TRUE(document.load(this->Write(L"second.xml", "<Other/>")));
    EXPECT_EQ(root.nodeName(), L"Editor");
    ASSERT_TRUE(root.firstChild());
    EXPECT_EQ(document.selectSingleNode(L"/*").nodeName(), L"Other");
}

// ---- Loading ----

TYPED_TEST_P(DomContractTest, LoadFailuresGiveFalseAndAReason) {
    const std::string garbage = [] {
        std::string bytes;
        for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 131 + 7) % 256);
        return bytes;
    }();
    const std::wstring failing[] = {
        this->temp_.File(L"missing.xml"),
        this->temp_.path(),
        this->Write(L"empty.xml", ""),
        this->Write(L"malformed.xml", "<Editor>\n  <Harness>\n</Editor>\n"),
        this->Write(L"garbage.xml", garbage),
        this->Write(L"truncated.xml", std::string(test::kProgramFile.substr(0, 120))),
    };
    const std::wstring good = this->Write(L"good.xml", test::kProgramFile);
    for (const std::wstring& path : failing) {
        SCOPED_TRACE(io::ToUtf8(path));
        Document document = this->NewDocument();
        ASSERT_TRUE(document.load(good));
        EXPECT_FALSE(document.load(path));
        EXPECT_FALSE(this->Reason(document).empty());
        // The failed load leaves the document empty.
        EXPECT_FALSE(document.selectSingleNode(L"/Editor"));
        EXPECT_FALSE(document.firstChild());
    }
}

TYPED_TEST_P(DomContractTest, WhiteSpaceIsKeptOnlyWhenPreserved) {
    const std::string_view file = "<Fixtures>\n\t<Fixture/>\n</Fixtures>";
    Document preserved = this->Loaded(file, true);
    ASSERT_TRUE(preserved);
    const Node first = preserved.selectSingleNode(L"/Fixtures").firstChild();
    ASSERT_TRUE(first);
    EXPECT_EQ(first.nodeName(), L"#text");
    EXPECT_EQ(ValueOf(first), L"\n\t");
    ASSERT_TRUE(first.nextSibling());
    EXPECT_EQ(ValueOf(first.nextSibling().nextSibling()), L"\n");

    Document dropped = this->Loaded(file, false);
    ASSERT_TRUE(dropped);
    const Node only = dropped.selectSingleNode(L"/Fixtures").firstChild();
    ASSERT_TRUE(only);
    EXPECT_EQ(only.nodeName(), L"Fixture");
    EXPECT_FALSE(only.nextSibling());
}

TYPED_TEST_P(DomContractTest, ExternalEntitiesAndDefinitionsAreNotFetched) {
    this->Write(L"secret.txt", "LEAKED-ENTITY");
    this->Write(L"outside.dtd", "<!ATTLIST Editor Leak CDATA \"LEAKED-DEFAULT\">");
    const std::string_view withEntity =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Editor [<!ENTITY s SYSTEM \"secret.txt\">]>\n"
        "<Editor>&s;</Editor>\n";
    const std::string_view withDtd =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Editor SYSTEM \"outside.dtd\">\n<Editor/>\n";
    for (std::string_view file : {withEntity, withDtd}) {
        SCOPED_TRACE(std::string(file));
        const std::wstring path = this->Write(L"external.xml", file);
        Document document = this->NewDocument();
        if (!document.load(path)) {
            EXPECT_FALSE(this->Reason(document).empty());
            continue;
        }
        EXPECT_FALSE(document.selectSingleNode(L"/Editor/@Leak"));
        for (Node child = document.selectSingleNode(L"/Editor").firstChild(); child;
             child = child.nextSibling()) {
            EXPECT_EQ(ValueOf(child).find(L"LEAKED"), std::wstring::npos);
        }
        EXPECT_EQ(this->SavedBytes(document).find("LEAKED"), std::string::npos);
    }
}

TYPED_TEST_P(DomContractTest, EntityExpansionBombIsRefusedOrLeftUnexpanded) {
    std::string file = "<?xml version=\"1.0\"?>\n<!DOCTYPE Editor [\n<!ENTITY l0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        std::string references;
        for (int i = 0; i < 10; ++i) references += "&l" + std::to_string(level - 1) + ";";
        file += "<!ENTITY l" + std::to_string(level) + " \"" + references + "\">\n";
    }
    file += "]>\n<Editor A=\"&l9;\">&l9;</Editor>\n";
    Document document;
    if (this->LoadsOrExplains(document, file)) {
        const std::string saved = this->SavedBytes(document);
        EXPECT_LT(saved.size(), 10000u);
        EXPECT_EQ(saved.find("lollollol"), std::string::npos);
    }
}

TYPED_TEST_P(DomContractTest, DeepNestingFailsClearly) {
    const int depth = 100000;
    std::string file;
    for (int i = 0; i < depth; ++i) file += "<a>";
    for (int i = 0; i < depth; ++i) file += "</a>";
    Document document = this->NewDocument();
    EXPECT_FALSE(document.load(this->Write(L"deep.xml", file)));
    EXPECT_FALSE(this->Reason(document).empty());
}

TYPED_TEST_P(DomContractTest, HugeNodesFailClearlyOrLoadWhole) {
    if (!LoadsHugeFilesQuickly<TypeParam>(0)) GTEST_SKIP() << "the service is too slow for it";
    struct Hostile {
        std::string_view open;
        size_t size;
        std::string_view close;
    };
    // A 100 MB file of one CDATA section, and a text node well beyond a sane size.
    const Hostile files[] = {{"<Editor><![CDATA[", 100u << 20, "]]></Editor>"},
                             {"<Editor>", 20u << 20, "</Editor>"}};
    for (const auto& [open, size, close] : files) {
        SCOPED_TRACE(std::string(open));
        std::string file(open);
        file.append(size, 'x');
        file += close;
        Document document;
        const bool loaded = this->LoadsOrExplains(document, file);
        file = std::string();
        if (loaded) {
            const Node content = document.selectSingleNode(L"/Editor").firstChild();
            ASSERT_TRUE(content);
            EXPECT_EQ(content.nodeValue().value_or(L"").size(), size);
        }
    }
}

// ---- Saving ----

TYPED_TEST_P(DomContractTest, SavesTheSampleProgramByteForByte) {
    const std::wstring sample = test::SourceFile(L"examples/sample.vlf");
    const std::optional<std::string> original = test::ReadBytes(sample);
    ASSERT_TRUE(original);
    Document document = this->NewDocument();
    ASSERT_TRUE(document.load(sample)) << io::ToUtf8(this->Reason(document));
    EXPECT_EQ(this->SavedBytes(document), *original);
}

TYPED_TEST_P(DomContractTest, SaveFailuresGiveTheirCodeAndLeaveTheTarget) {
    Document document = this->Loaded(test::kProgramFile);
    ASSERT_TRUE(document);
    namespace fs = std::filesystem;

    const std::wstring readOnly = this->Write(L"read-only.vlf", "old content");
    fs::permissions(test::FsPath(readOnly),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(document.save(readOnly), hr::kAccessDenied);
    EXPECT_EQ(test::ReadBytes(readOnly), std::optional<std::string>("old content"));

    const std::wstring folder = this->temp_.File(L"folder.vlf");
    fs::create_directory(test::FsPath(folder));
    EXPECT_EQ(document.save(folder), hr::kAccessDenied);
    EXPECT_TRUE(fs::is_directory(test::FsPath(folder)));

    EXPECT_EQ(document.save(this->temp_.File(L"no-such-folder") + L"/target.vlf"), hr::kInvalidArg);
    EXPECT_EQ(document.save(L""), hr::kInvalidArg);
    EXPECT_EQ(document.save(L"   "), hr::kInvalidArg);
    EXPECT_EQ(this->temp_.Listing(), L"folder.vlf\nread-only.vlf\nsource.xml\n");
}

// ---- Encodings ----

TYPED_TEST_P(DomContractTest, RoundTripsUtf8) {
    const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor Name=\"A" +
                              std::wstring(test::kNonAscii) + L"\">T" +
                              std::wstring(test::kNonAscii) + L"<![CDATA[C" +
                              std::wstring(test::kNonAscii) + L"]]></Editor>\n";
    const std::wstring cdata = L"C" + std::wstring(test::kNonAscii);
    Document document = this->Loaded(io::ToUtf8(text));
    this->ExpectEncodingSample(document, cdata);
    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    EXPECT_NE(saved.find(io::ToUtf8(L"<![CDATA[" + cdata + L"]]>")), std::string::npos);
    this->ExpectEncodingSample(reloaded, cdata);
}

TYPED_TEST_P(DomContractTest, RoundTripsUtf16) {
    const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Editor Name=\"A" +
                              std::wstring(test::kNonAscii) + L"\">T" +
                              std::wstring(test::kNonAscii) + L"<![CDATA[C" +
                              std::wstring(test::kNonAscii) + L"]]></Editor>\n";
    const std::wstring cdata = L"C" + std::wstring(test::kNonAscii);
    Document document = this->Loaded(test::Utf16LeWithBom(text));
    this->ExpectEncodingSample(document, cdata);
    if (!TypeParam::kWritesDeclaredEncoding) return;

    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    const std::string bom = saved.substr(0, 2);
    EXPECT_TRUE(bom == "\xFF\xFE" || bom == "\xFE\xFF");
    const std::string littleEndian = test::Utf16LeWithBom(L"<Editor").substr(2);
    const std::string bigEndian = std::string(1, '\0') + littleEndian.substr(0, 13);
    EXPECT_TRUE(saved.find(littleEndian) != std::string::npos ||
                saved.find(bigEndian) != std::string::npos);
    this->ExpectEncodingSample(reloaded, cdata);
}

TYPED_TEST_P(DomContractTest, RoundTripsIso88591) {
    // Ω has no code in ISO-8859-1: the file holds it as a character reference.
    const std::string file = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Editor Name=\"A" +
                             test::SingleByte(L"\u00B5") + "&#937;" + test::SingleByte(L"\u00E9") +
                             "\">T" + test::SingleByte(L"\u00B5") + "&#937;" +
                             test::SingleByte(L"\u00E9") + "<![CDATA[C" +
                             test::SingleByte(L"\u00B5\u00E9") + "]]></Editor>\n";
    Document document = this->Loaded(file);
    this->ExpectEncodingSample(document, L"C\u00B5\u00E9");
    if (!TypeParam::kWritesDeclaredEncoding) return;

    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    EXPECT_NE(saved.find("encoding=\"ISO-8859-1\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("C\xB5\xE9]]>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("\xC2\xB5"), std::string::npos) << saved;
    this->ExpectEncodingSample(reloaded, L"C\u00B5\u00E9");
}

TYPED_TEST_P(DomContractTest, RoundTripsWindows1252) {
    // The euro sign is 0x80 in windows-1252 and has no code in ISO-8859-1.
    const std::string file = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Editor Name=\"A" +
                             test::SingleByte(L"\u00B5") + "&#937;" + test::SingleByte(L"\u00E9") +
                             "\">T" + test::SingleByte(L"\u00B5") + "&#937;" +
                             test::SingleByte(L"\u00E9") + "<![CDATA[C" +
                             test::SingleByte(L"\u00B5\u00E9\u20AC") + "]]></Editor>\n";
    Document document = this->Loaded(file);
    this->ExpectEncodingSample(document, L"C\u00B5\u00E9\u20AC");
    if (!TypeParam::kWritesDeclaredEncoding) return;

    std::string saved;
    Document reloaded = this->Reloaded(document, &saved);
    EXPECT_NE(saved.find("encoding=\"windows-1252\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("C\xB5\xE9\x80]]>"), std::string::npos) << saved;
    this->ExpectEncodingSample(reloaded, L"C\u00B5\u00E9\u20AC");
}

REGISTER_TYPED_TEST_SUITE_P(
    DomContractTest, EmptyHandlesTestFalseAndRaisePointerErrors,
    NamesEveryKindOfNodeInDocumentOrder, ElementsAndDocumentsHaveNoValueAttributesDo,
    TypedViewsAreEmptyForOtherKinds, KeepsCDataSectionsWithExactContent,
    AdjacentCDataSectionsStayApart,
    PutTextReplacesTheSectionThroughSaveAndLoad, SelectSingleNodeGivesTheFirstMatchOrNothing,
    SelectSingleNodeRaisesForAnInvalidPath, SetAttributeNodeReplacesAndGivesTheReplacedAttribute,
    SetAttributeNodeAddsAMissingAttribute, UnattachedAttributesAndHeldNodesOutliveTheirDocument,
    LoadFailuresGiveFalseAndAReason, WhiteSpaceIsKeptOnlyWhenPreserved,
    ExternalEntitiesAndDefinitionsAreNotFetched, EntityExpansionBombIsRefusedOrLeftUnexpanded,
    DeepNestingFailsClearly, HugeNodesFailClearlyOrLoadWhole, SavesTheSampleProgramByteForByte,
    SaveFailuresGiveTheirCodeAndLeaveTheTarget, RoundTripsUtf8, RoundTripsUtf16, RoundTripsIso88591,
    RoundTripsWindows1252);

}  // namespace ostrel::xml::contract
