// Drives the real dialogs in this process: the main dialog on its real template, with seams for
// its browse dialogs and beeps, and a watcher that records and closes the modal windows an
// action opens.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/windows/window_driver.h"
#include "ui/ostrel_dlg.h"
#include "win/file_dialog.h"

namespace ostrel::test {

// The main dialog created modeless on template 102 (OLE is ready on the test thread).
class MainDialog : public ui::COstrelDlg {
  public:
    MainDialog() { Create(nullptr); }
    ~MainDialog() override { DestroyWindow(Handle()); }  // while the map is still this class's

    HWND Item(int id) const { return GetDlgItem(Handle(), id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }
    void Focus(int id) const { SetFocus(Item(id)); }  // as a click into the control would
    // Focuses the control, selects its whole text and types over it (WM_CHAR).
    void Type(int id, const std::wstring& text) const;
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }  // takes the focus too
    // Drops the files onto the control with that ID (0: the dialog itself) as the shell does: a
    // WM_DROPFILES whose DROPFILES block lists the wide names.
    void Drop(int id, const std::vector<std::wstring>& files) const;

    std::optional<std::wstring> browseAnswer;    // the browses' answer; nullopt is Cancel
    std::function<void()> browseFailure;         // when set, a browse raises what it raises
    std::vector<win::FileDialog> browseDialogs;  // every browse dialog asked for, in order
    int beeps = 0;                               // the beeps sounded

    void Beep(unsigned) override { ++beeps; }

  protected:
    std::optional<std::wstring> RunFileDialog(const win::FileDialog& dialog) override;
};

// Runs `action` on this thread. Every dialog box of this thread that becomes visible meanwhile
// is recorded, handed to `prepare` (when given) and closed with IDOK, from a timer that the
// modal loops dispatch.
std::vector<ModalWindow> RunClosingModals(const std::function<void()>& action,
                                          const std::function<void(HWND)>& prepare = {});

}  // namespace ostrel::test
