// Drives a running Ostrel.exe from another process, the way a user would: it finds the main
// dialog, types into its fields, moves the keyboard focus, presses buttons and reads back texts.
#pragma once

#include <windows.h>

#include <string>

#include "tests/windows/window_driver.h"

namespace ostrel::test {

// The Windows form of a path: a POSIX path ("/work/x.exe") becomes one on Wine's drive Z:.
std::wstring WindowsPath(const std::wstring& path);

// One run of Ostrel.exe with its main dialog open. The destructor closes the dialog (and ends
// the process by force only when it does not go), so no test leaves a process behind.
class OstrelSession {
  public:
    // Starts the program and waits for its dialog; started() tells whether it came up.
    explicit OstrelSession(const std::wstring& program);
    ~OstrelSession();
    OstrelSession(const OstrelSession&) = delete;
    OstrelSession& operator=(const OstrelSession&) = delete;

    bool started() const { return dialog_ != nullptr; }
    const std::wstring& failure() const { return failure_; }  // why the start failed
    HWND dialog() const { return dialog_; }

    std::wstring Text(int id) const { return WindowText(GetDlgItem(dialog_, id)); }
    // Types the text into a field and leaves it for `next`, as a user does: the focus moves
    // through the dialog manager and the edit notifies EN_CHANGE.
    void Type(int id, const std::wstring& text, int next) const;
    // Presses Convert and waits until the Results log shows the line; true when it did.
    bool Convert(const std::wstring& line) const;
    bool WaitForExit(DWORD timeoutMs = kPatienceMs) const;  // true when the process ended

  private:
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
    std::wstring failure_;
};

}  // namespace ostrel::test
