// The About box, opened from the main dialog's system menu.
#pragma once

#include "win/dialog.h"

namespace ostrel::app {

// Dialog template 100; closed by its OK button, Enter, Escape or the close box.
class CAboutDlg : public win::Dialog {
  public:
    // An About box owned by `owner` (nullptr: the active window).
    explicit CAboutDlg(HWND owner = nullptr);
    ~CAboutDlg() override = default;

  protected:
    // An empty map: every message goes to the base dialog.
    win::MessageMap GetMessageMap() const override;
    // Binds and exchanges nothing.
    void DoDataExchange() override;
};

}  // namespace ostrel::app
