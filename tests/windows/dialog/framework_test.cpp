// The framework layer: message routing and the error boundary of the dialog procedure, and the
// real Save As dialog.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/error.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/dialog.h"
#include "win/file_dialog.h"
#include "win/module.h"

namespace ostrel::test {
namespace {

// A dialog on the About box's template whose OK button runs what the test gives it.
class RaisingDialog : public win::Dialog {
  public:
    RaisingDialog() : win::Dialog(IDD_ABOUTBOX) {}
    std::function<void()> onOk;
    int okClicks = 0;

  protected:
    win::MessageMap GetMessageMap() const override {
        static const win::MessageMapEntry<RaisingDialog> kEntries[] = {
            {WM_COMMAND, BN_CLICKED, IDOK, &win::CommandHandler<&RaisingDialog::OnOkClicked>},
        };
        return win::MessageMap(this, kEntries);
    }

  private:
    void OnOkClicked() {
        ++okClicks;
        onOk();
    }
};

TEST(DialogBoundaryTest, AnErrorInAHandlerIsShownAndTheDialogKeepsWorking) {
    RaisingDialog dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    ShowWindow(dialog.Handle(), SW_SHOW);  // the About box's template is not visible itself
    const struct {
        std::function<void()> onOk;
        std::wstring shown;  // the error box's message, or empty for no box
    } cases[] = {
        {[] { RaiseError(E_POINTER, L"Invalid pointer"); }, L"Invalid pointer"},
        {[] { throw std::runtime_error("broken"); }, L"broken"},
        {[] {}, L""},
    };
    for (const auto& test : cases) {
        dialog.onOk = test.onOk;
        const auto modals = RunClosingModals(
            [&] { SendMessageW(GetDlgItem(dialog.Handle(), IDOK), BM_CLICK, 0, 0); });
        ASSERT_EQ(modals.size(), test.shown.empty() ? 0u : 1u);
        if (test.shown.empty()) continue;
        EXPECT_EQ(modals[0].owner, dialog.Handle());
        EXPECT_EQ(modals[0].title, win::ApplicationName());
        EXPECT_TRUE(modals[0].Shows(test.shown));
    }
    EXPECT_EQ(dialog.okClicks, 3);
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));  // the default IDOK would have ended it
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));  // unmapped: the default ends it
}

TEST(FileDialogTest, TheRealSaveAsDialogAddsTheDefaultExtension) {
    TempDir folder;
    const win::FileDialog dialog(false, L"vlf", folder.File(L"start.vlf"), 0x02000802,
                                 L"Vela Program Files (*.vlf)|*.vlf||");
    std::optional<std::wstring> result;
    const std::wstring name = folder.File(L"saved");
    const auto enterName = [&](HWND fileDialog) {  // the classic or the newer file-name field
        for (int id : {0x47C, 0x480}) {
            if (HWND field = GetDlgItem(fileDialog, id)) {
                HWND edit = FindWindowExW(field, nullptr, L"Edit", nullptr);
                SendMessageW(edit ? edit : field, WM_SETTEXT, 0,
                             reinterpret_cast<LPARAM>(name.c_str()));
            }
        }
    };
    RunClosingModals([&] { result = dialog.DoModal(nullptr); }, enterName);
    EXPECT_EQ(result.value_or(L"<cancelled>"), folder.File(L"saved.vlf"));
}

}  // namespace
}  // namespace ostrel::test
