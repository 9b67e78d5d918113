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

  private:
    HWND control_ = nullptr;
};

}  // namespace ostrel::win
