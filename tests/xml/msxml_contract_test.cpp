// The DOM contract for the MSXML backend, and what only this backend has: document creation
// through COM and the COM error plumbing. COM is initialised by the test programs' wmain.
#include <windows.h>

#include <comdef.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/xml/dom_contract_test.h"
#include "xml/msxml/com_support.h"
#include "xml/platform_document.h"

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
    static HResult Create(Document& document) { return CreatePlatformDocument(document); }
    // Wine writes UTF-8 whatever the declaration says.
    static inline const bool kWritesDeclaredEncoding = !RunningUnderWine();
    // Wine's parser joins adjacent CDATA sections into one.
    static inline const bool kKeepsAdjacentCDataSections = !RunningUnderWine();
    // Wine's selection crashes on an unterminated path once a valid one has run.
    static inline const bool kSurvivesInvalidPaths = !RunningUnderWine();
    // Wine reads a 100 MB file for many minutes.
    static inline const bool kLoadsHugeFilesQuickly = !RunningUnderWine();
    // The service writes its own form of the whole tree.
    static constexpr bool kSavesByteForByte = false;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Msxml, DomContractTest, MsxmlBackend);

}  // namespace contract

namespace {

TEST(MsxmlCreation, FailsWithoutComOnTheThreadAndEmptiesTheDocument) {
    Document document;
    ASSERT_EQ(CreatePlatformDocument(document), S_OK);
    ASSERT_TRUE(document);
    HResult created = S_OK;
    bool raised = false;
    // A new thread has not initialised COM; the failure is a result, never an exception.
    std::thread worker([&] {
        try {
            created = CreatePlatformDocument(document);
        } catch (...) {
            raised = true;
        }
    });
    worker.join();
    EXPECT_FALSE(raised);
    EXPECT_EQ(created, CO_E_NOTINITIALIZED);
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

// The error that `raise` throws as _com_error (Error), or E_UNEXPECTED when it throws none.
template <typename Raise>
_com_error Raised(Raise raise) {
    try {
        raise();
    } catch (const _com_error& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return _com_error(E_UNEXPECTED);
}

TEST(ComErrors, CheckHrCarriesTheDescriptionOfTheReportingInterfaceOnly) {
    EXPECT_NO_THROW(CheckHr(S_OK, nullptr, IID_IUnknown));
    EXPECT_NO_THROW(CheckHr(S_FALSE, nullptr, IID_IUnknown));

    ErrorReporter object(IID_IDispatch);
    SetThreadError(L"the node is read-only");
    const _com_error reported = Raised([&] { CheckHr(E_ACCESSDENIED, &object, IID_IDispatch); });
    EXPECT_EQ(ErrorCode(reported), E_ACCESSDENIED);
    EXPECT_EQ(ErrorDescription(reported), L"the node is read-only");
    EXPECT_EQ(object.references(), 1u);

    SetThreadError(L"stale description");
    const _com_error other = Raised([&] { CheckHr(E_FAIL, &object, IID_IStream); });
    EXPECT_EQ(ErrorCode(other), E_FAIL);
    EXPECT_EQ(_bstr_t(other.Description()).length(), 0u);
    SetErrorInfo(0, nullptr);
}

TEST(ComErrors, DescriptionIsTheGivenOneOrTheSystemText) {
    const _com_error given = Raised([] { RaiseError(E_INVALIDARG, L"bad path"); });
    EXPECT_EQ(ErrorCode(given), E_INVALIDARG);
    EXPECT_EQ(ErrorDescription(given), L"bad path");

    const std::wstring fallback = ErrorDescription(Raised([] { RaiseError(E_OUTOFMEMORY); }));
    ASSERT_FALSE(fallback.empty());
    EXPECT_EQ(std::wstring(L"\r\n").find(fallback.back()), std::wstring::npos);
}

TEST(ComStrings, ConvertNarrowTextAndKeepEmbeddedNuls) {
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(_bstr_t("Fixture 12"))), L"Fixture 12");
    EXPECT_STREQ(static_cast<const char*>(_bstr_t(L"pin 7")), "pin 7");
    EXPECT_EQ(_bstr_t(static_cast<const char*>(nullptr)).length(), 0u);
    const std::wstring text(L"a\0b", 3);
    EXPECT_EQ(msxml::FromBstr(msxml::ToBstr(text).GetBSTR()), text);
    const _variant_t value = msxml::ToStringVariant(text);
    EXPECT_EQ(V_VT(&value), VT_BSTR);
    EXPECT_EQ(msxml::FromBstr(V_BSTR(&value)), text);
    EXPECT_EQ(msxml::FromBstr(nullptr), L"");
}

}  // namespace
}  // namespace ostrel::xml
