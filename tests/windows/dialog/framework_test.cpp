// The framework layer: message maps, the error boundary of the dialog procedure, the real Save As
// dialog, and the application's run.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "base/error.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/application.h"
#include "win/dialog.h"
#include "win/module.h"

namespace ostrel::test {
namespace {

// A dialog on the About box's template whose OK button runs what the test gives it.
struct RaisingDialog : win::Dialog {
    RaisingDialog() : win::Dialog(IDD_ABOUTBOX) {}
    void OnOkClicked() {
        ++okClicks;
        onOk();
    }
    win::MessageMap GetMessageMap() const override {
        static const win::MessageMapEntry<RaisingDialog> kEntries[] = {
            {WM_COMMAND, BN_CLICKED, IDOK, &win::CommandHandler<&RaisingDialog::OnOkClicked>},
        };
        return win::MessageMap(this, kEntries);
    }
    std::function<void()> onOk;
    int okClicks = 0;
};

// An entry of a dialog's map takes handlers of that dialog's class only.
struct OtherDialog : win::Dialog {
    void OnOkClicked() {}
};
template <auto Handler, class Owner>
constexpr bool kFits = std::is_convertible_v<decltype(&win::CommandHandler<Handler>),
                                             decltype(win::MessageMapEntry<Owner>::handler)>;
static_assert(kFits<&RaisingDialog::OnOkClicked, RaisingDialog>);
static_assert(!kFits<&OtherDialog::OnOkClicked, RaisingDialog>);

TEST(DialogBoundaryTest, AnErrorInAHandlerIsShownAndTheDialogKeepsWorking) {
    RaisingDialog dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    ShowWindow(dialog.Handle(), SW_SHOW);  // the About box's template is not visible itself
    const std::pair<std::function<void()>, std::wstring> cases[] = {
        {[] { RaiseError(E_POINTER, L"Invalid pointer"); }, L"Invalid pointer"},
        {[] { throw std::runtime_error("broken"); }, L"broken"},
        {[] {}, L""},  // no error, no box
    };
    for (const auto& [onOk, shown] : cases) {
        dialog.onOk = onOk;
        const auto modals = RunClosingModals(
            [&] { SendMessageW(GetDlgItem(dialog.Handle(), IDOK), BM_CLICK, 0, 0); });
        ASSERT_EQ(modals.size(), shown.empty() ? 0u : 1u);
        if (shown.empty()) continue;
        EXPECT_EQ(modals[0].owner, dialog.Handle());
        EXPECT_EQ(modals[0].title, win::ApplicationName());
        EXPECT_TRUE(modals[0].Shows(shown));
    }
    EXPECT_EQ(dialog.okClicks, 3);
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));  // the default IDOK would have ended it
    SendMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));  // unmapped: the default ends it
}

TEST(FileDialogTest, TheRealSaveAsDialogAddsTheDefaultExtension) {
    TempDir folder;
    const win::FileDialog dialog(false, L"vlf", folder.File(L"start.vlf"), OFN_OVERWRITEPROMPT,
                                 L"Vela Program Files (*.vlf)|*.vlf||");
    std::optional<std::wstring> result;
    const std::wstring name = folder.File(L"saved");
    RunClosingModals([&] { result = dialog.DoModal(nullptr); },
                     [&](HWND fileDialog) {
                         SendMessageW(FileNameEdit(fileDialog), WM_SETTEXT, 0,
                                      reinterpret_cast<LPARAM>(name.c_str()));
                     });
    EXPECT_EQ(result.value_or(L"<cancelled>"), folder.File(L"saved.vlf"));
}

// TRUE from InitInstance asks for the application's message loop, which ends with WM_QUIT and
// gives its code; FALSE ends the run at once, with 0.
TEST(ApplicationTest, InitInstanceDecidesWhetherTheMessageLoopRuns) {
    struct Starting : win::Application {
        explicit Starting(BOOL answer) : answer(answer) {}
        BOOL InitInstance() override {
            PostQuitMessage(7);
            return answer;
        }
        BOOL answer;
    };
    EXPECT_EQ(Starting(TRUE).Run(), 7);
    EXPECT_EQ(Starting(FALSE).Run(), 0);
    MSG quit;  // no loop took the second one
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace ostrel::test
