// The DOM contract for the libxml2 backend, and what this backend adds to it: its reason texts
// and the bytes it writes.
#include "xml/libxml2/libxml2_document.h"

#include <gtest/gtest.h>

#include "tests/xml/dom_contract_test.h"

namespace ostrel::xml {

namespace contract {

struct Libxml2Backend {
    static HResult Create(Document& document) { return libxml2::CreateDocument(document); }
    static constexpr bool kWritesDeclaredEncoding = true;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Libxml2, DomContractTest, Libxml2Backend);

}  // namespace contract

namespace {

class Libxml2DocumentTest : public ::testing::Test {
  protected:
    Document NewDocument() {
        Document document;
        EXPECT_EQ(libxml2::CreateDocument(document), hr::kOk);
        document.putAsync(false);
        document.putResolveExternals(false);
        document.putPreserveWhiteSpace(true);
        return document;
    }
    // The reason of a load of the bytes that must fail.
    std::wstring FailureReason(std::string_view bytes) {
        const std::wstring path = temp_.File(L"failing.xml");
        test::WriteBytes(path, bytes);
        return FailureReasonOfPath(path);
    }
    std::wstring FailureReasonOfPath(const std::wstring& path) {
        Document document = NewDocument();
        EXPECT_FALSE(document.load(path));
        return document.parseError().reason().value_or(L"<none>");
    }
    test::TempDir temp_;
};

TEST_F(Libxml2DocumentTest, ReasonIsTheFirstErrorWithItsPlace) {
    EXPECT_EQ(FailureReason("<Editor>\n  <Harness>\n    <Fixtures>\n  </Harness>\n</Editor>\n"),
              L"Opening and ending tag mismatch: Fixtures line 3 and Harness (line 4, column 13)");
    EXPECT_EQ(FailureReason(""), L"Document is empty (line 1, column 1)");
}

TEST_F(Libxml2DocumentTest, ReasonOfAFileThatCannotBeOpened) {
    EXPECT_EQ(FailureReasonOfPath(temp_.File(L"missing.vlf")),
              L"Cannot open the file: No such file or directory");
    EXPECT_EQ(FailureReasonOfPath(temp_.path()), L"Cannot open the file: Is a directory");
}

TEST_F(Libxml2DocumentTest, RefusesUndeclaredNamespacePrefixesAsMsxmlDoes) {
    EXPECT_NE(FailureReason("<Editor><v:Fixture/></Editor>").find(L"v"), std::wstring::npos);
}

TEST_F(Libxml2DocumentTest, WritesUtf16LittleEndianWithByteOrderMark) {
    const std::wstring path = temp_.File(L"utf16.xml");
    // Read by its byte order mark alone, without a declaration.
    test::WriteBytes(path, test::Utf16LeWithBom(L"<Editor>\u03A9</Editor>"));
    Document document = NewDocument();
    ASSERT_TRUE(document.load(path));
    ASSERT_EQ(document.save(path), hr::kOk);
    EXPECT_EQ(test::ReadBytes(path),
              test::Utf16LeWithBom(
                  L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Editor>\u03A9</Editor>\n"));
}

TEST_F(Libxml2DocumentTest, DeclaresUtf8WhenTheFileDeclaredNoEncoding) {
    const std::wstring path = temp_.File(L"plain.xml");
    test::WriteBytes(path, "<Editor>\xC2\xB5</Editor>");
    Document document = NewDocument();
    ASSERT_TRUE(document.load(path));
    ASSERT_EQ(document.save(path), hr::kOk);
    EXPECT_EQ(test::ReadBytes(path),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor>\xC2\xB5</Editor>\n");
}

TEST_F(Libxml2DocumentTest, IsThePlatformDocument) {
    Document document;
    ASSERT_EQ(CreatePlatformDocument(document), hr::kOk);
    const std::wstring path = temp_.File(L"platform.xml");
    test::WriteBytes(path, "<Editor/>");
    ASSERT_TRUE(document.load(path));
    EXPECT_EQ(document.selectSingleNode(L"/Editor").nodeName(), L"Editor");
}

}  // namespace
}  // namespace ostrel::xml
