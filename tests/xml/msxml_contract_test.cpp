// The DOM contract for the MSXML backend, and what only this backend has: document creation
// through COM and the COM error plumbing. COM is initialised by the test programs' wmain.
#include <windows.h>

#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>

#include <comdef.h>
#include <comutil.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/xml/dom_contract_test.h"
#include "xml/dom.h"
#include "xml/dom_error.h"
#include "xml/msxml/com_support.h"
#include "xml/msxml/msxml_document.h"

namespace ostrel::xml {

namespace {
bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
}  // namespace

namespace contract {

// Where Wine's MSXML falls short of the real one. Known only when the program runs, hence not
// constexpr.
struct MsxmlBackend {
    static HResult Create(Document& document) { return msxml::CreateDocument(document); }
    // Wine writes UTF-8 whatever the declaration says.
    static inline const bool kWritesDeclaredEncoding = !RunningUnderWine();
    // Wine's parser joins adjacent CDATA sections into one.
    static inline const bool kKeepsAdjacentCDataSections = !RunningUnderWine();
    // Wine's selection crashes on an unterminated path once a valid one has run.
    static inline const bool kSurvivesInvalidPaths = !RunningUnderWine();
    // Wine reads a 100 MB file for many minutes.
    static inline const bool kLoadsHugeFilesQuickly = !RunningUnderWine();
};

INSTANTIATE_TYPED_TEST_SUITE_P(Msxml, DomContractTest, MsxmlBackend);

}  // namespace contract

namespace {

Document NewDocument() {
    Document document;
    const HResult created = msxml::CreateDocument(document);
    EXPECT_EQ(created, S_OK);
    return document;
}

TEST(MsxmlCreation, GivesAUsableDocument) {
    Document document;
    ASSERT_EQ(msxml::CreateDocument(document), S_OK);
    ASSERT_TRUE(document);
    test::TempDir folder;
    const std::wstring file = folder.File(L"doc.xml");
    test::WriteBytes(file, "<Editor CRC=\"1\"><Harness/></Editor>");
    document.putAsync(false);
    ASSERT_TRUE(document.load(file));
    EXPECT_EQ(document.selectSingleNode(L"/Editor/Harness").nodeName(), L"Harness");
}

TEST(MsxmlCreation, PlatformFactoryGivesAnMsxmlDocument) {
    Document document;
    ASSERT_EQ(CreatePlatformDocument(document), S_OK);
    EXPECT_EQ(document.nodeName(), L"#document");
}

TEST(MsxmlCreation, FailsWithoutComOnTheThread) {
    HResult created = S_OK;
    bool raised = false;
    bool empty = false;
    // A new thread has not initialised COM; the failure is a result, never an exception.
    std::thread worker([&] {
        Document document;
        try {
            created = msxml::CreateDocument(document);
            empty = !document;
        } catch (...) {
            raised = true;
        }
    });
    worker.join();
    EXPECT_FALSE(raised);
    EXPECT_EQ(created, CO_E_NOTINITIALIZED);
    EXPECT_TRUE(empty);
}

TEST(MsxmlCreation, FailureEmptiesAGivenDocument) {
    Document document = NewDocument();
    HResult created = S_OK;
    std::thread worker([&] { created = msxml::CreateDocument(document); });
    worker.join();
    EXPECT_TRUE(hr::Failed(created));
    EXPECT_FALSE(document);
}

// A COM object that reports errors through IErrorInfo for one interface only.
class ErrorReporter : public ISupportErrorInfo {
  public:
    explicit ErrorReporter(REFIID reporting) : reporting_(reporting) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return IsEqualIID(iid, reporting_) ? S_OK : S_FALSE;
    }
    ULONG references() const { return references_; }

  private:
    IID reporting_;
    ULONG references_ = 1;
};

// Leaves an error object with the description on the thread, as a failing COM call does.
void SetThreadError(const wchar_t* description) {
    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(CreateErrorInfo(&creator), S_OK);
    creator->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    creator->Release();
}

TEST(ComErrors, CheckHrPassesSuccessCodes) {
    EXPECT_NO_THROW(msxml::CheckHr(S_OK, nullptr, IID_IUnknown));
    EXPECT_NO_THROW(msxml::CheckHr(S_FALSE, nullptr, IID_IUnknown));
}

TEST(ComErrors, CheckHrCarriesTheObjectsDescription) {
    ErrorReporter object(IID_IDispatch);
    SetThreadError(L"the node is read-only");
    try {
        msxml::CheckHr(E_ACCESSDENIED, &object, IID_IDispatch);
        FAIL() << "no error raised";
    } catch (const DomError& error) {
        EXPECT_EQ(ErrorCode(error), E_ACCESSDENIED);
        EXPECT_EQ(ErrorDescription(error), L"the node is read-only");
    }
    EXPECT_EQ(object.references(), 1u);
}

TEST(ComErrors, CheckHrIgnoresErrorObjectsOfOtherInterfaces) {
    ErrorReporter object(IID_IDispatch);
    SetThreadError(L"stale description");
    try {
        msxml::CheckHr(E_FAIL, &object, IID_IStream);
        FAIL() << "no error raised";
    } catch (const DomError& error) {
        EXPECT_EQ(ErrorCode(error), E_FAIL);
        EXPECT_EQ(_bstr_t(error.Description()).length(), 0u);
    }
    SetErrorInfo(0, nullptr);
}

TEST(ComErrors, RaisedErrorsCarryTheirDescription) {
    try {
        RaiseDomError(E_INVALIDARG, L"bad path");
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(ErrorCode(error), E_INVALIDARG);
        EXPECT_EQ(ErrorDescription(error), L"bad path");
    }
}

TEST(ComErrors, DescriptionFallsBackToTheSystemText) {
    try {
        RaiseDomError(E_OUTOFMEMORY);
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        const std::wstring description = ErrorDescription(error);
        EXPECT_FALSE(description.empty());
        EXPECT_NE(description.back(), L'\n');
        EXPECT_NE(description.back(), L'\r');
    }
}

TEST(ComErrors, NarrowStringsConvertBothWays) {
    _bstr_t text("Fixture 12");
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(text)), L"Fixture 12");
    EXPECT_STREQ(static_cast<const char*>(_bstr_t(L"pin 7")), "pin 7");
    EXPECT_EQ(_bstr_t(static_cast<const char*>(nullptr)).length(), 0u);
}

TEST(ComStrings, KeepEmbeddedNulsAndTellNullFromEmpty) {
    const std::wstring text(L"a\0b", 3);
    _bstr_t copy = msxml::ToBstr(text);
    EXPECT_EQ(copy.length(), 3u);
    EXPECT_EQ(msxml::FromBstr(copy.GetBSTR()), text);
    EXPECT_EQ(msxml::OptionalFromBstr(nullptr), std::nullopt);
    EXPECT_EQ(msxml::FromBstr(nullptr), L"");
    const _variant_t value = msxml::ToStringVariant(L"CRC");
    EXPECT_EQ(V_VT(&value), VT_BSTR);
    EXPECT_EQ(msxml::FromBstr(V_BSTR(&value)), L"CRC");
}

}  // namespace
}  // namespace ostrel::xml
