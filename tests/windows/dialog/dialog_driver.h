// Drives the real dialogs in this process: the main dialog on its real template, with a seam for
// its browse dialogs, and a watcher that records and closes the modal windows an action opens.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ostrel_dlg.h"
#include "win/file_dialog.h"

namespace ostrel::test {

// The text of a window.
std::wstring WindowText(HWND window);

// The main dialog created modeless on template 102 (OLE is ready on the test thread), its browse
// buttons answered by the test instead of a file dialog.
class MainDialog : public ui::COstrelDlg {
  public:
    MainDialog();
    ~MainDialog() override;

    // The dialog's control with that ID.
    HWND Item(int id) const { return GetDlgItem(Handle(), id); }
    // The text of the dialog's control with that ID.
    std::wstring Text(int id) const { return WindowText(Item(id)); }
    // Gives the control the keyboard focus, as a click into it would.
    void Focus(int id) const { SetFocus(Item(id)); }
    // Focuses the control, selects its whole text and types over it (WM_CHAR), as the keyboard
    // would.
    void Type(int id, const std::wstring& text) const;
    // Clicks the button: it takes the focus first, then reports BN_CLICKED to the dialog.
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }

    std::optional<std::wstring> browseAnswer;    // the browses' answer; nullopt is Cancel
    std::vector<win::FileDialog> browseDialogs;  // every browse dialog asked for, in order

  protected:
    std::optional<std::wstring> RunFileDialog(const win::FileDialog& dialog) override {
        browseDialogs.push_back(dialog);
        return browseAnswer;
    }
};

// A modal window seen while an action ran.
struct ModalWindow {
    std::wstring title;               // its caption
    HWND owner = nullptr;             // its owner window
    std::vector<std::wstring> texts;  // the texts of its controls, in z-order

    // True when one of its controls shows exactly that text.
    bool Shows(const std::wstring& text) const {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
};

// Runs `action` on this thread. Every dialog window (#32770) that becomes visible meanwhile is
// recorded, handed to `prepare` (when given) and closed with IDOK, from a timer that the modal
// loops dispatch.
std::vector<ModalWindow> RunClosingModals(const std::function<void()>& action,
                                          const std::function<void(HWND)>& prepare = {});

}  // namespace ostrel::test
