// The framework layer: message routing and the error boundary of the dialog procedure, the file
// dialog's translation of the classic settings, and string values of the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/dialog.h"
#include "win/file_dialog.h"
#include "win/module.h"
#include "win/registry_key.h"
#include "xml/dom_error.h"

namespace ostrel::test {
namespace {

// A dialog on the About box's template whose OK button raises what the test asks for.
class RaisingDialog : public win::Dialog {
  public:
    RaisingDialog() : win::Dialog(IDD_ABOUTBOX) {}
    enum class Raise { Nothing, DomError, StandardException } raise = Raise::Nothing;
    int okClicks = 0;

  protected:
    win::MessageMap GetMessageMap() const override {
        static const win::MessageMapEntry kEntries[] = {
            {WM_COMMAND, BN_CLICKED, IDOK, &win::CommandHandler<&RaisingDialog::OnOkClicked>},
        };
        return win::MakeMessageMap(kEntries);
    }

  private:
    void OnOkClicked() {
        ++okClicks;
        if (raise == Raise::DomError) xml::RaiseDomError(E_POINTER, L"Invalid pointer");
        if (raise == Raise::StandardException) throw std::runtime_error("broken");
    }
};

class DialogBoundaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(dialog.Create(nullptr), nullptr);
        ShowWindow(dialog.Handle(), SW_SHOW);  // the About box's template is not visible itself
    }
    std::vector<ModalWindow> ClickOk() {
        return RunClosingModals([&] { Click(GetDlgItem(dialog.Handle(), IDOK)); });
    }
    static bool Shows(const ModalWindow& window, const std::wstring& text) {
        return std::find(window.texts.begin(), window.texts.end(), text) != window.texts.end();
    }
    RaisingDialog dialog;
};

TEST_F(DialogBoundaryTest, AMappedCommandReachesItsHandlerInsteadOfTheDefault) {
    EXPECT_TRUE(ClickOk().empty());
    EXPECT_EQ(dialog.okClicks, 1);
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));  // the default would have ended the dialog
}

TEST_F(DialogBoundaryTest, ADomErrorIsShownOwnedByTheDialogAndTheDialogKeepsWorking) {
    dialog.raise = RaisingDialog::Raise::DomError;
    const auto modals = ClickOk();
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].owner, dialog.Handle());
    EXPECT_EQ(modals[0].title, win::ApplicationName());
    EXPECT_TRUE(Shows(modals[0],
                      L"The conversion stopped on an unexpected error; nothing was "
                      L"saved.\n\nInvalid pointer\n(error code 80004003)"));

    dialog.raise = RaisingDialog::Raise::Nothing;
    EXPECT_TRUE(ClickOk().empty());
    EXPECT_EQ(dialog.okClicks, 2);
}

TEST_F(DialogBoundaryTest, AStandardExceptionIsShownWithTheGeneralFailureCode) {
    dialog.raise = RaisingDialog::Raise::StandardException;
    const auto modals = ClickOk();
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_TRUE(Shows(modals[0],
                      L"The conversion stopped on an unexpected error; nothing was "
                      L"saved.\n\nbroken\n(error code 80004005)"));
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
}

TEST_F(DialogBoundaryTest, UnmappedCancelEndsTheDialog) {
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
}

TEST(FileDialogTest, TheFilterGivesItsDescriptionAndPatternPairs) {
    using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
    EXPECT_EQ(win::ParseFilter(L"Vela Program Files (*.vlf)|*.vlf|Vela ZRP Files (*.zrp)|*.zrp|"
                               L"All Files (*.*)|*.*||"),
              (Pairs{{L"Vela Program Files (*.vlf)", L"*.vlf"},
                     {L"Vela ZRP Files (*.zrp)", L"*.zrp"},
                     {L"All Files (*.*)", L"*.*"}}));
    EXPECT_EQ(win::ParseFilter(L"Text|*.txt"), (Pairs{{L"Text", L"*.txt"}}));
    EXPECT_EQ(win::ParseFilter(L"Text|*.txt|Dangling"), (Pairs{{L"Text", L"*.txt"}}));
    EXPECT_EQ(win::ParseFilter(L""), Pairs{});
}

TEST(FileDialogTest, ClassicFlagsBecomeTheNewerDialogsOptions) {
    EXPECT_EQ(win::FileDialogOptions(0x02001004),  // the source's Open dialog
              static_cast<FILEOPENDIALOGOPTIONS>(FOS_FILEMUSTEXIST | FOS_DONTADDTORECENT));
    EXPECT_EQ(win::FileDialogOptions(0x02000802),  // the target's Save As dialog
              static_cast<FILEOPENDIALOGOPTIONS>(FOS_OVERWRITEPROMPT | FOS_PATHMUSTEXIST |
                                                 FOS_DONTADDTORECENT));
    EXPECT_EQ(win::FileDialogOptions(OFN_HIDEREADONLY), 0u);
}

// Types the path into the file-name field of a file dialog (classic or newer form).
void EnterFileName(HWND fileDialog, const std::wstring& path) {
    for (int combo : {0x47C, 0x480}) {
        HWND field = GetDlgItem(fileDialog, combo);
        if (field == nullptr) continue;
        HWND edit = FindWindowExW(field, nullptr, L"Edit", nullptr);
        SendMessageW(edit != nullptr ? edit : field, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(path.c_str()));
        return;
    }
    ADD_FAILURE() << "no file-name field";
}

TEST(FileDialogTest, TheOpenDialogGivesTheChosenFullPath) {
    TempDir folder;
    const std::wstring chosen = folder.File(L"chosen.vlf");
    WriteBytes(chosen, "<Editor/>");
    const win::FileDialog dialog(true, L"vlf", L"", 0x02001004,
                                 L"Vela Program Files (*.vlf)|*.vlf|All Files (*.*)|*.*||");
    std::optional<std::wstring> result;
    const auto modals = RunClosingModals([&] { result = dialog.DoModal(nullptr); },
                                         [&](HWND window) { EnterFileName(window, chosen); });
    ASSERT_EQ(modals.size(), 1u);
    ASSERT_TRUE(result);
    EXPECT_TRUE(std::filesystem::equivalent(*result, chosen));
}

TEST(FileDialogTest, TheSaveDialogAddsTheDefaultExtension) {
    TempDir folder;
    const win::FileDialog dialog(false, L"vlf", folder.File(L"start.vlf"), 0x02000802,
                                 L"Vela Program Files (*.vlf)|*.vlf||");
    std::optional<std::wstring> result;
    RunClosingModals([&] { result = dialog.DoModal(nullptr); },
                     [&](HWND window) { EnterFileName(window, folder.File(L"saved")); });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, folder.File(L"saved.vlf"));
}

class RegistryKeyTest : public ::testing::Test {
  protected:
    static constexpr const wchar_t* kKey = L"Software\\Ostrel tests\\Registry key";
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
    void Store(DWORD type, const std::wstring& text, std::size_t bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Value", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(bytes));
        RegCloseKey(key);
    }
    LONG Query(std::wstring& value) {
        win::RegistryKey key;
        EXPECT_EQ(key.Create(HKEY_CURRENT_USER, kKey, KEY_READ), ERROR_SUCCESS);
        return key.QueryString(L"Value", 260, value);
    }
};

TEST_F(RegistryKeyTest, AStringOf259CharactersFitsAndOneOf260DoesNot) {
    const std::wstring fits(259, L'x');
    Store(REG_SZ, fits, (fits.size() + 1) * sizeof(wchar_t));
    std::wstring value = L"unchanged";
    EXPECT_EQ(Query(value), ERROR_SUCCESS);
    EXPECT_EQ(value, fits);

    const std::wstring tooLong(260, L'y');
    Store(REG_EXPAND_SZ, tooLong, (tooLong.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(Query(value), ERROR_MORE_DATA);
    EXPECT_EQ(value, fits);
}

TEST_F(RegistryKeyTest, AnEmptyValueReadsAsTheEmptyText) {
    Store(REG_SZ, L"", 0);
    std::wstring value = L"unchanged";
    EXPECT_EQ(Query(value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"");
}

TEST_F(RegistryKeyTest, MalformedStringsAreInvalidData) {
    std::wstring value = L"unchanged";
    // The data is followed by more text: a null right after it would be stored with it.
    Store(REG_SZ, L"abcd", 3 * sizeof(wchar_t));  // no terminating null
    EXPECT_EQ(Query(value), ERROR_INVALID_DATA);
    Store(REG_SZ, L"abcd", 3);  // an odd byte count
    EXPECT_EQ(Query(value), ERROR_INVALID_DATA);
    Store(REG_MULTI_SZ, std::wstring(L"abc\0", 4), 5 * sizeof(wchar_t));
    EXPECT_EQ(Query(value), ERROR_INVALID_DATA);
    EXPECT_EQ(value, L"unchanged");
}

}  // namespace
}  // namespace ostrel::test
