// The DOM contract for the libxml2 backend, and what this backend adds to it: its reason texts
// and the bytes it writes.
#include "xml/libxml2/libxml2_document.h"

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "tests/xml/dom_contract_test.h"
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

TEST(Libxml2Document, ReasonIsTheFirstErrorWithItsPlace) {
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
        {temp.path(), L"Cannot open the file: Is a directory"}};
    for (const auto& [path, expected] : failures) {
        std::wstring reason;
        EXPECT_FALSE(LoadedOrEmpty(path, &reason));
        EXPECT_EQ(reason, expected);
    }
}

TEST(Libxml2Document, WritesTheEncodingItReadAndDeclaresIt) {
    test::TempDir temp;
    const std::wstring path = temp.File(L"saved.xml");
    // UTF-16 read by its byte order mark alone; UTF-8 when the file declared nothing.
    const std::pair<std::string, std::string> files[] = {
        {test::Utf16LeWithBom(L"<Editor>\u03A9</Editor>"),
         test::Utf16LeWithBom(
             L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Editor>\u03A9</Editor>\n")},
        {"<Editor>\xC2\xB5</Editor>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor>\xC2\xB5</Editor>\n"}};
    for (const auto& [bytes, expected] : files) {
        test::WriteBytes(path, bytes);
        std::wstring reason;
        const Document document = LoadedOrEmpty(path, &reason);
        ASSERT_TRUE(document) << ToUtf8(reason);
        ASSERT_EQ(document.save(path), hr::kOk);
        EXPECT_EQ(test::ReadBytes(path), expected);
    }
}

}  // namespace
}  // namespace ostrel::xml
