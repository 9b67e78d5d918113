// Drives a running Ostrel.exe from another process, the way a user would: it finds the main
// dialog, types into its fields, moves the keyboard focus, presses buttons and reads back texts.
//
// Trap: the dialog belongs to another process. GetWindowTextW and SetFocus do not work across
// processes; every read and write goes through window messages (WM_GETTEXT, WM_SETTEXT,
// WM_NEXTDLGCTL, BM_CLICK).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ostrel::test::e2e {

// The longest that any step waits for the other process: generous, as Wine is slow to start.
constexpr DWORD kPatienceMs = 20000;

// Polls the condition until it holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);
// The window's text, read with WM_GETTEXT (also across processes).
std::wstring WindowText(HWND window);
// A text of the program's string table, its placeholder (if any) replaced by the argument.
std::wstring StringTableText(int id, const std::wstring& argument = {});
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
    // Why the start failed, for the test's message.
    const std::wstring& failure() const { return failure_; }
    HWND dialog() const { return dialog_; }

    // The text of a control of the main dialog.
    std::wstring Text(int id) const;
    // Types the text into a field and leaves it for `next`, as a user does: the focus moves
    // through the dialog manager and the edit notifies EN_CHANGE.
    void Type(int id, const std::wstring& text, int next) const;
    // Presses a button and, with `wait`, returns once its handler has run. Trap: a button that
    // opens a modal window needs wait = false, or the call waits until the window is closed.
    void Click(int id, bool wait = true) const;
    // The visible dialog boxes (file dialogs, message boxes) owned by the main dialog.
    std::vector<HWND> OwnedDialogs() const;
    // Waits for the process to end; true when it ended.
    bool WaitForExit(DWORD timeoutMs = kPatienceMs) const;

  private:
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
    std::wstring failure_;
};

// The edit that holds a file dialog's file name: control 0x47C (classic) or 0x480 (newer), or
// the edit inside it when it is a combo box; nullptr until the dialog has it.
HWND FileNameEdit(HWND fileDialog);
// True when one of the window's controls shows exactly that text.
bool Shows(HWND window, const std::wstring& text);

}  // namespace ostrel::test::e2e
