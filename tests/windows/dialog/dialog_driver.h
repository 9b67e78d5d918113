// Drives the real dialogs in this process: the main dialog with a seam for its browse dialogs,
// and a watcher that records and closes the modal windows (About box, message boxes) that an
// action opens.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ostrel_dlg.h"
#include "win/file_dialog.h"

namespace ostrel::test {

// The main dialog, with its browse buttons answered by the test instead of a file dialog.
class DrivenOstrelDlg : public ui::COstrelDlg {
  public:
    // The answer of the next browse dialogs: a chosen path, or nullopt for Cancel.
    std::optional<std::wstring> browseAnswer;
    // Every browse dialog the handlers asked for, in order.
    std::vector<win::FileDialog> browseDialogs;

  protected:
    std::optional<std::wstring> RunFileDialog(const win::FileDialog& dialog) override {
        browseDialogs.push_back(dialog);
        return browseAnswer;
    }
};

// The main dialog created modeless on the real template 102 (OLE is ready on the test thread).
class MainDialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The dialog's control with that ID.
    HWND Item(int id) const { return GetDlgItem(dialog.Handle(), id); }
    // The text of the dialog's control with that ID.
    std::wstring Text(int id) const;

    DrivenOstrelDlg dialog;
};

// A modal window seen while an action ran.
struct ModalWindow {
    std::wstring title;               // its caption
    HWND owner = nullptr;             // its owner window
    std::vector<std::wstring> texts;  // the texts of its controls, in z-order
};

// Runs `action` on this thread. Every dialog window (#32770) that becomes visible meanwhile is
// recorded, handed to `prepare` (when given) and closed with IDOK, from a timer that the modal
// loops dispatch.
std::vector<ModalWindow> RunClosingModals(const std::function<void()>& action,
                                          const std::function<void(HWND)>& prepare = {});

// The text of a window.
std::wstring WindowText(HWND window);

// Gives the keyboard focus to the control, as a click into it would.
void Focus(HWND control);

// Focuses the control and types the text at the end of its text, character by character
// (WM_CHAR), as the keyboard would.
void Type(HWND control, const std::wstring& text);

// Focuses the control, selects its whole text and types the text over it.
void Enter(HWND control, const std::wstring& text);

// Dispatches the messages posted to this thread (WM_CLOSE posts the dialog's IDCANCEL).
void PumpMessages();

// Clicks the button: it takes the focus first, then reports BN_CLICKED to the dialog.
void Click(HWND button);

}  // namespace ostrel::test
