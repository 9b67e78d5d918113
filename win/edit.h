// An edit control of a dialog, bound by Dialog::BindControl.
#pragma once

#include <windows.h>

#include <string>

namespace ostrel::win {

class Edit {
  public:
    // Binds the object to the control (Dialog::BindControl does this).
    void Attach(HWND control) { control_ = control; }
    // The control's window; nullptr before the dialog has bound it.
    HWND Handle() const { return control_; }

    // The control's whole text.
    std::wstring GetText() const;
    // Replaces the text. Trap: a single-line edit sends EN_CHANGE to its parent before this
    // returns, even when the text does not change.
    void SetText(const std::wstring& text) const;
    // Selects characters start to end (EM_SETSEL); start == end places the caret there.
    void SetSel(int start, int end) const;
    // Scrolls the caret into view (EM_SCROLLCARET).
    void ScrollCaret() const;

    // Takes files dropped from the shell, and passes each drop (WM_DROPFILES) on to the parent
    // dialog with the edit's window as lParam (where the shell's own drop onto the dialog has 0),
    // so that the dialog knows where the files landed.
    void AcceptDroppedFiles() const;
    // Suggests file-system paths while the user types (the shell's autocomplete). Trap: needs
    // COM on the thread; where the system has no suggestions (Wine), the edit stays as it is.
    void SuggestPaths() const;

  private:
    HWND control_ = nullptr;
};

}  // namespace ostrel::win
