// The system menu's About item, the About box, the window icons and the application's start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/ostrel_app.h"
#include "res/resource.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/module.h"

namespace ostrel::test {
namespace {

using SystemMenuTest = MainDialogTest;

std::wstring MenuItemText(HMENU menu, int position) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 64, MF_BYPOSITION);
    return text;
}

TEST_F(SystemMenuTest, EndsWithASeparatorAndTheAboutItem) {
    HMENU menu = GetSystemMenu(dialog.Handle(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);

    MENUITEMINFOW separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &separator));
    EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);

    EXPECT_EQ(GetMenuItemID(menu, count - 1), 0x0010u);
    EXPECT_EQ(MenuItemText(menu, count - 1), L"&About Ostrel...");
}

TEST_F(SystemMenuTest, TheWindowShowsTheApplicationIconBigAndSmall) {
    HICON icon = LoadIconW(win::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog.Handle(), WM_GETICON, ICON_BIG, 0)),
              icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog.Handle(), WM_GETICON, ICON_SMALL, 0)),
              icon);
}

TEST_F(SystemMenuTest, CommandsFrom0x0010To0x001FOpenTheAboutBox) {
    for (WPARAM command : {0x0010, 0x0013, 0x001F}) {
        const auto modals =
            RunClosingModals([&] { SendMessageW(dialog.Handle(), WM_SYSCOMMAND, command, 0); });
        ASSERT_EQ(modals.size(), 1u) << "command " << command;
        EXPECT_EQ(modals[0].title, L"About Ostrel");
        EXPECT_EQ(modals[0].owner, dialog.Handle());
        EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
    }
}

TEST_F(SystemMenuTest, OpeningTheAboutBoxCarriesTheSourceLikeAnyLossOfFocus) {
    Type(Item(IDC_SOURCE_EDIT), L"about.vlf");
    RunClosingModals([&] { SendMessageW(dialog.Handle(), WM_SYSCOMMAND, 0x0010, 0); });
    EXPECT_EQ(Text(IDC_SOURCE_EDIT), L"about.vlf");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"about.vlf");
}

TEST_F(SystemMenuTest, OtherCommandsGetTheDefaultHandling) {
    auto modals =
        RunClosingModals([&] { SendMessageW(dialog.Handle(), WM_SYSCOMMAND, 0x0020, 0); });
    EXPECT_TRUE(modals.empty());
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));

    // The default handling of SC_CLOSE closes the dialog as its Cancel button does.
    modals = RunClosingModals([&] {
        SendMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        PumpMessages();
    });
    EXPECT_TRUE(modals.empty());
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
}

TEST(ApplicationTest, RunsTheMainDialogModallyAndReturnsFalseWhenItEnds) {
    app::COstrelApp application;
    BOOL result = TRUE;
    const auto modals = RunClosingModals([&] { result = application.InitInstance(); });
    EXPECT_FALSE(result);
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, L"Vela Test Point Reassignment Utility");
}

TEST(ApplicationTest, AFailedOleStartShowsTheOnlyBoxAndEnds) {
    // OLE needs a single-threaded apartment: a thread already multithreaded refuses it.
    std::vector<ModalWindow> modals;
    BOOL result = TRUE;
    std::thread thread([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        app::COstrelApp application;
        modals = RunClosingModals([&] { result = application.InitInstance(); });
        CoUninitialize();
    });
    thread.join();
    EXPECT_FALSE(result);
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, win::ApplicationName());
    EXPECT_NE(std::find(modals[0].texts.begin(), modals[0].texts.end(), L"Ole Init Failed"),
              modals[0].texts.end());
}

}  // namespace
}  // namespace ostrel::test
