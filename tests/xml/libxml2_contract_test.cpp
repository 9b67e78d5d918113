// The DOM contract for the libxml2 backend, and what this backend adds to it: its reason texts
// and the bytes it writes.
#include "xml/libxml2/libxml2_document.h"

#include <gtest/gtest.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/utf8.h"
#include "engine/conversion.h"
#include "io/sinks.h"
#include "tests/support/process.h"
#include "tests/xml/dom_contract_test.h"
#include "xml/libxml2/attribute_text.h"
#include "xml/libxml2/libxml2_support.h"
#include "xml/platform_document.h"

namespace ostrel::xml {

namespace contract {

struct Libxml2Backend {
    static HResult Create(Document& document) {
        std::shared_ptr<backend::DocumentImpl> created;
        const HResult result = libxml2::CreateDocument(created);
        document = Document(created);
        return result;
    }
    static constexpr bool kWritesDeclaredEncoding = true;
    static constexpr bool kKeepsAdjacentCDataSections = true;
    static constexpr bool kSurvivesInvalidPaths = true;
    static constexpr bool kLoadsHugeFilesQuickly = true;
    static constexpr bool kSavesByteForByte = true;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Libxml2, DomContractTest, Libxml2Backend);

}  // namespace contract

namespace {

// A document of the platform factory, loaded from the file; empty when the load fails.
Document LoadedOrEmpty(const std::wstring& path, std::wstring* reason) {
    Document document;
    EXPECT_EQ(CreatePlatformDocument(document), hr::kOk);
    engine::ApplyLoadOptions(document);
    if (document.load(path)) return document;
    *reason = document.parseError().reason().value_or(L"<none>");
    return Document();
}

TEST(Libxml2Document, ReasonIsTheFirstErrorWithItsPlaceAndNothingIsPrinted) {
    test::TempDir temp;
    const auto write = [&temp](const wchar_t* name, std::string_view bytes) {
        test::WriteBytes(temp.File(name), bytes);
        return temp.File(name);
    };
    const std::pair<std::wstring, std::wstring> failures[] = {
        {write(L"mismatch.xml", "<Editor>\n  <Harness>\n    <Fixtures>\n  </Harness>\n</Editor>\n"),
         L"Opening and ending tag mismatch: Fixtures line 3 and Harness (line 4, column 13)"},
        {write(L"empty.xml", ""), L"Document is empty (line 1, column 1)"},
        // Undeclared prefixes are refused as MSXML does.
        {write(L"prefix.xml", "<Editor><v:Fixture/></Editor>"),
         L"Namespace prefix v on Fixture is not defined (line 1, column 19)"},
        {temp.File(L"missing.vlf"), L"Cannot open the file: No such file or directory"},
        {temp.path(), L"Cannot open the file: Is a directory"},
        // libxml2 stops reading at a NUL without a word: the bytes after it would be lost.
        {write(L"nul.xml", std::string("<Editor CRC=\"1\"/>\n\0<Editor>copy</Editor>\n", 41)),
         L"The file goes on after the end of the document with bytes that cannot be read (a NUL "
         L"character at byte 18)"},
        {write(L"encoding.xml",
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?><Editor>\x81</Editor>"),
         L"input conversion failed due to input error, bytes 0x81 0x3C 0x2F 0x45"},
    };
    for (const auto& [path, expected] : failures) {
        std::wstring reason;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(LoadedOrEmpty(path, &reason));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(reason, expected);
    }
}

// Runs `check` in a child process (which may change process-wide settings) with at most
// `cpuSeconds` of processor time; true when it returned true.
template <typename Check>
bool PassesInChild(Check check, rlim_t cpuSeconds = 60) {
    const int status = test::StatusOfChild([&] {
        const rlimit limit{cpuSeconds, cpuSeconds};
        setrlimit(RLIMIT_CPU, &limit);
        _exit(check() ? 0 : 1);
    });
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Libxml2Document, EntitiesAndDefaultsInAttributesAreReadWithinBounds) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"doc.xml");
    const auto reasonFor = [&](const std::string& bytes) {
        test::WriteBytes(path, bytes);
        std::wstring reason;
        EXPECT_FALSE(LoadedOrEmpty(path, &reason)) << bytes.substr(0, 60);
        return reason;
    };
    test::WriteBytes(path,
                     "<!DOCTYPE doc [<!ENTITY e \"x&lt;y\"><!ENTITY f \"&e;&#38;e;\">]>"
                     "<doc a=\"1&f;2\"/>");
    std::wstring reason;
    const Document document = LoadedOrEmpty(path, &reason);
    ASSERT_TRUE(document) << ToUtf8(reason);
    EXPECT_EQ(document.selectSingleNode(L"/doc/@a").nodeValue(), L"1x<yx<y2");

    // A loop of references is refused, whoever finds it first.
    EXPECT_NE(reasonFor("<!DOCTYPE doc [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><doc a=\"&a;\"/>")
                  .find(L"loop"),
              std::wstring::npos);
    // `count` attributes named prefix0, prefix1... each written as `form` says.
    const auto attributes = [](const char* prefix, int count, const char* form) {
        std::string text;
        for (int i = 0; i < count; ++i) text += " " + (prefix + std::to_string(i)) + form;
        return text;
    };
    const std::wstring grown =
        L"Entity references and default attributes add more than ten times the file's size to "
        L"its attributes";
    std::string references;
    for (int i = 0; i < 5000; ++i) references += "&e;";
    EXPECT_EQ(reasonFor("<!DOCTYPE doc [<!ENTITY e \"" + std::string(100000, 'x') +
                        "\">]>\n<doc a=\"" + references + "\"/>"),
              grown + L" (line 2)");
    std::string elements;
    for (int i = 0; i < 200; ++i) elements += "<x/>";
    EXPECT_EQ(reasonFor("<!DOCTYPE doc [<!ATTLIST x" + attributes("a", 1000, " CDATA 'v'") +
                        ">]><doc>" + elements + "</doc>"),
              grown + L" (line 1)");

    const std::string defaults = attributes("d", 5001, " CDATA ''");
    // The scanner counts the lines in the file's own code units (UCS-4 only without a mark).
    const std::string written =
        "<?xml version='1.0'?>\n\n<doc" + attributes("w", 10001, "=''") + "/>";
    for (const UnicodeUnits form :
         {UnicodeUnits{2, false}, UnicodeUnits{2, true}, UnicodeUnits{4, true}}) {
        EXPECT_EQ(reasonFor(EncodeUnits((form.width == 2 ? "\xEF\xBB\xBF" : "") + written, form)),
                  L"An element has more than 10000 attributes (line 3)");
    }
    EXPECT_EQ(reasonFor(written), L"An element has more than 10000 attributes (line 3)");
    test::WriteBytes(path, "<doc" + attributes("w", 10000, "=''") + "/>");
    EXPECT_TRUE(LoadedOrEmpty(path, &reason)) << ToUtf8(reason);
    EXPECT_EQ(reasonFor("<!DOCTYPE doc [<!ATTLIST doc" + defaults + ">]>\n\n<doc" +
                        attributes("w", 5000, "=''") + "/>"),
              L"An element has more than 10000 attributes (line 3)");
    EXPECT_EQ(reasonFor("<!DOCTYPE doc [<!ATTLIST doc" + defaults + ">\n<!ATTLIST doc" +
                        attributes("e", 5000, " CDATA ''") + ">]><doc/>"),
              L"An element type declares more than 10000 default attributes (line 2)");
    EXPECT_EQ(reasonFor("<!DOCTYPE doc [<!ENTITY e \"<x" + attributes("w", 10001, "=''") +
                        "/>\">]><doc>&e;</doc>"),
              L"An element has more than 10000 attributes (line 1)");

    // Defaults that are added count as if written out.
    test::WriteBytes(path, "<!DOCTYPE doc [<!ATTLIST x a CDATA '" + std::string(5000, 'v') +
                               "'>]><doc>" + elements + elements + "</doc>");
    Document withDefaults;
    ASSERT_EQ(CreatePlatformDocument(withDefaults), hr::kOk);
    engine::ApplyLoadOptions(withDefaults);
    EXPECT_TRUE(withDefaults.load(path));
    withDefaults.putResolveExternals(true);
    EXPECT_FALSE(withDefaults.load(path));
    EXPECT_EQ(withDefaults.parseError().reason(), grown + L" (line 1)");
}

// The reader of attribute values counts its steps: a value beyond its bound is not read.
TEST(AttributeText, ReferencesAreFollowedWithinTheirBounds) {
    using libxml2::EntityTextMeter;
    using libxml2::ExpandedValue;
    const std::string text =
        "<!DOCTYPE d [<!ENTITY e 'x&#38;lt;y'><!ENTITY f '&e;&e;'>]><d a='1&f;2'/>";
    const libxml2::Owned<xmlDoc, xmlFreeDoc> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, 0));
    ASSERT_TRUE(doc);
    xmlAttrPtr attribute = xmlDocGetRootElement(doc.get())->properties;
    // 7 nodes visited (one of them twice) and 8 bytes: 15 steps.
    EXPECT_EQ(ExpandedValue(attribute, 15), "1x<yx<y2");
    EXPECT_EQ(ExpandedValue(attribute, 14), std::nullopt);
    EXPECT_EQ(EntityTextMeter().ReferencedBytes(doc.get(), attribute->children), 6u);

    // Entities declared after the parse, nested deeper than the parser lets through, or in a loop:
    // what the meter and the reader make of a value that refers to the first.
    using Read = std::pair<std::optional<std::uint64_t>, std::optional<std::string>>;
    const auto nested = [](int levels, bool loop) {
        const libxml2::Owned<xmlDoc, xmlFreeDoc> made(
            xmlReadDoc(BAD_CAST "<!DOCTYPE d []><d a=''/>", nullptr, nullptr, 0));
        for (int k = 0; k < levels; ++k) {
            const std::string name = "c" + std::to_string(k),
                              next = k + 1 < levels ? "&c" + std::to_string(k + 1) + ";"
                                     : loop         ? "&c0;"
                                                    : "t";
            xmlAddDocEntity(made.get(), BAD_CAST name.c_str(), XML_INTERNAL_GENERAL_ENTITY, nullptr,
                            nullptr, BAD_CAST next.c_str());
        }
        xmlAttrPtr value = xmlDocGetRootElement(made.get())->properties;
        xmlNodeSetContent(reinterpret_cast<xmlNodePtr>(value), BAD_CAST "&c0;");
        return Read(EntityTextMeter().ReferencedBytes(made.get(), value->children),
                    ExpandedValue(value, 1000));
    };
    EXPECT_EQ(nested(libxml2::kMaxEntityDepth, false), Read(1, "t"));
    EXPECT_EQ(nested(libxml2::kMaxEntityDepth + 1, false), Read());
    EXPECT_EQ(nested(2, true), Read());
}

TEST(Libxml2Document, ALoadEndsAtTheFirstByteNotTakenOrAtAStopRequest) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"sparse.xml");
    const std::string head("<doc/>\n\0", 8);
    test::WriteBytes(path, head);
    // A terabyte of holes after the NUL: reading them would take minutes.
    ASSERT_EQ(truncate(test::FsPath(path).c_str(), off_t{1} << 40), 0);
    EXPECT_TRUE(PassesInChild(
        [&] {
            std::wstring reason;
            return !LoadedOrEmpty(path, &reason) &&
                   reason.find(L"(a NUL character at byte 7)") != std::wstring::npos;
        },
        10));
    test::WriteBytes(path, "<doc/>");
    EXPECT_TRUE(PassesInChild([&] {
        // Held for good: the child ends with the request pending.
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        sigprocmask(SIG_BLOCK, &interrupt, nullptr);
        raise(SIGINT);
        std::wstring reason;
        return !LoadedOrEmpty(path, &reason) &&
               reason == L"The file was not read whole: a stop was requested";
    }));
}

// libxml2's allocations fail from the chosen one on.
long allocationsLeft = -1;
void* FailingMalloc(size_t size) { return allocationsLeft-- == 0 ? nullptr : std::malloc(size); }
void* FailingRealloc(void* block, size_t size) {
    return allocationsLeft-- == 0 ? nullptr : std::realloc(block, size);
}
char* FailingStrdup(const char* text) { return allocationsLeft-- == 0 ? nullptr : strdup(text); }

TEST(Libxml2Document, MemoryThatRunsOutWhileParsingIsReportedAsSuch) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"doc.xml");
    test::WriteBytes(path,
                     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                     "<!DOCTYPE doc [<!ENTITY e \"t\"><!ATTLIST doc d CDATA \"v\">]>\n"
                     "<doc a=\"&e;\"><f><![CDATA[12]]></f><!-- c --><g>text&e;</g>\xE9</doc>\n");
    EXPECT_TRUE(PassesInChild([&] {
        xmlMemSetup(std::free, FailingMalloc, FailingRealloc, FailingStrdup);
        int failures = 0;
        for (long failing = 0;; ++failing) {
            allocationsLeft = failing;
            std::wstring reason;
            const bool loaded = static_cast<bool>(LoadedOrEmpty(path, &reason));
            const bool reached = allocationsLeft < 0;
            allocationsLeft = -1;
            if (!reached) return failures == 0 && loaded;
            if (!loaded && reason != L"Not enough memory to read the file") {
                std::fprintf(stderr, "allocation %ld: %s\n", failing, ToUtf8(reason).c_str());
                ++failures;
            }
        }
    }));
}

TEST(Libxml2Document, ADocumentChangedOtherwiseIsWrittenWholeInTheEncodingItWasRead) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"saved.xml");
    // UTF-16 read by its byte order mark alone; UTF-8 when the file declared nothing.
    const std::pair<std::string, std::string> files[] = {
        {test::Utf16LeWithBom(L"<Editor><F>\u03A9</F></Editor>"),
         test::Utf16LeWithBom(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                              L"<Editor><F N=\"1\">\u03A9</F></Editor>\n")},
        {"<Editor><F>\xC2\xB5</F></Editor>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor><F N=\"1\">\xC2\xB5</F></Editor>\n"}};
    for (const auto& [bytes, expected] : files) {
        test::WriteBytes(path, bytes);
        std::wstring reason;
        const Document document = LoadedOrEmpty(path, &reason);
        ASSERT_TRUE(document) << ToUtf8(reason);
        engine::ReplaceAttribute(L"N", document.selectSingleNode(L"/Editor/F").asElement(), L"1");
        ASSERT_EQ(document.save(path), hr::kOk);
        EXPECT_EQ(test::ReadBytes(path), expected);
    }
    // A document that has loaded nothing, with an attribute made, writes nothing.
    Document unloaded;
    ASSERT_EQ(contract::Libxml2Backend::Create(unloaded), hr::kOk);
    unloaded.createAttribute(L"N");
    io::StringSink nothing;
    EXPECT_EQ(unloaded.save(nothing), hr::kOk);
    EXPECT_EQ(nothing.Content(), "");
}

// Files whose copy once patched the wrong bytes: a comment that opens as "<!-->" around a copy
// of the root (the scanner's own test has every such form), a double-byte encoding whose trail
// bytes can be ']', and UCS-4; and UTF-7, whose whole write in its own encoding was no longer XML.
TEST(Libxml2Document, FilesTheCopyCannotReadAreSavedAsTheTreeSays) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"program.vlf");
    const std::string root = "<Editor Version=\"3.2\" CRC=\"5\">";
    const std::string program = root + "<F><![CDATA[12]]></F></Editor>";
    const std::string ucs4 = EncodeUnits(program, {4, true});
    const std::string files[] = {
        "<!-->" + root + "-->" + program,
        "<?xml version=\"1.0\" encoding=\"JOHAB\"?>" + root + "<F><![CDATA[\x89]]]></F></Editor>",
        ucs4,
        EncodeUnits("<?xml version=\"1.0\" encoding=\"ISO-10646-UCS-4\"?>", {4, true}) + ucs4,
        "<?xml version=\"1.0\" encoding=\"UTF-7\"?>" + program,  // its writer escapes '<'
    };
    for (const std::string& file : files) {
        test::WriteBytes(path, file);
        std::wstring reason;
        const Document document = LoadedOrEmpty(path, &reason);
        ASSERT_TRUE(document) << ToUtf8(reason);
        engine::ReplaceAttribute(L"CRC", document.selectSingleNode(L"/Editor").asElement(), L"");
        document.selectSingleNode(L"/Editor/F").firstChild().asCDataSection().putText(L"12,13");
        const std::wstring expected = contract::Outline(document);
        ASSERT_EQ(document.save(path), hr::kOk);
        const std::string saved = test::ReadBytes(path).value_or("");
        // The same code-unit form: the NUL bytes of the first character in the same places.
        for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(saved.at(k) == 0, file.at(k) == 0);
        // JOHAB stays JOHAB: libxml2 reads it back.
        EXPECT_EQ(saved.find("JOHAB") == std::string::npos, file.find("JOHAB") == file.npos);
        const Document reloaded = LoadedOrEmpty(path, &reason);
        ASSERT_TRUE(reloaded) << ToUtf8(reason);
        EXPECT_EQ(contract::Outline(reloaded), expected);
        EXPECT_EQ(contract::ValueOf(reloaded.selectSingleNode(L"/Editor/@CRC")), L"");
    }
}

TEST(Libxml2Document, NamesItsOwnKindsOfNodesAndSaysWhatEachMisuseWas) {
    test::TempDir temp;
    test::WriteBytes(temp.File(L"doc.xml"),
                     "<!DOCTYPE r [<!ENTITY e 't'>]><r xmlns:v='urn:vela'><s/>&e;</r>");
    std::wstring reason;
    const Document document = LoadedOrEmpty(temp.File(L"doc.xml"), &reason);
    ASSERT_TRUE(document);
    const Element root = document.selectSingleNode(L"/r").asElement();
    EXPECT_EQ(document.firstChild().nodeName(), L"#document-type");
    EXPECT_EQ(root.firstChild().nextSibling().nodeName(), L"#entity-reference");
    const Attribute attribute = document.createAttribute(L"a");
    root.setAttributeNode(attribute);
    const auto self = document.internalObject();  // the document through every view
    const std::pair<std::function<void()>, std::wstring> misuses[] = {
        {[&] { Element(self).setAttributeNode(attribute); }, L"A document has no attributes."},
        {[&] { Attribute(self).putValue(L"x"); }, L"A document has no value."},
        {[&] { CDataSection(self).putText(L"x"); }, L"The text of a document cannot be set."},
        {[&] { document.createAttribute(L"1x"); }, L"\"1x\" is not a valid attribute name."},
        {[&] { root.firstChild().asElement().setAttributeNode(attribute); },
         L"The attribute is already attached to another element."},
        {[&] { document.selectSingleNode(L"count(/r)"); },
         L"The expression \"count(/r)\" does not select nodes."},
        {[&] { document.selectSingleNode(L"/r/namespace::*"); },
         L"Namespace nodes cannot be selected."},
        {[&] { document.selectSingleNode(L"/r[bogus()]"); },
         L"Invalid XPath expression \"/r[bogus()]\""},
    };
    testing::internal::CaptureStderr();
    for (const auto& [misuse, message] : misuses) {
        EXPECT_EQ(contract::RaisedBy(misuse).description, message);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // nothing printed
}

}  // namespace
}  // namespace ostrel::xml
