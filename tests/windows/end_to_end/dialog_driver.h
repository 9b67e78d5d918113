// Drives a running Ostrel.exe from another process, the way a user would: it finds the main
// dialog, types into its fields, moves the keyboard focus, presses buttons and reads back texts.
//
// Trap: the dialog belongs to another process. GetWindowTextW and SetFocus do not work across
// processes; every read and write goes through window messages (WM_GETTEXT, WM_SETTEXT,
// WM_NEXTDLGCTL, BM_CLICK).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::test::e2e {

// The longest that any step waits for the other process: generous, as Wine is slow to start.
constexpr DWORD kPatienceMs = 20000;

// Polls the condition until it holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);

// The window's text, read with WM_GETTEXT (also across processes).
std::wstring WindowText(HWND window);
// The name of the window's class, "#32770" for dialog boxes.
std::wstring ClassName(HWND window);
// The visible dialog boxes (class "#32770") whose owner is the window.
std::vector<HWND> OwnedDialogs(HWND owner);
// The windows of the process that are still visible.
std::vector<HWND> VisibleWindowsOf(DWORD processId);
// The descendant windows of the parent, depth first.
std::vector<HWND> Descendants(HWND parent);
// A text of the program's string table (numbers 101 to 112), with its one placeholder, if it
// has one, replaced by the argument.
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

    // True once the dialog is visible with all its controls.
    bool started() const { return dialog_ != nullptr; }
    // Why the start failed, for the test's message.
    const std::wstring& failure() const { return failure_; }
    HWND dialog() const { return dialog_; }
    DWORD processId() const { return process_.dwProcessId; }

    // A control of the main dialog by its ID.
    HWND Control(int id) const;
    // The text of a control of the main dialog.
    std::wstring Text(int id) const;
    // Replaces the text of a control, as typing it would (the edit notifies EN_CHANGE).
    void SetText(int id, const std::wstring& text) const;
    // Moves the keyboard focus to a control, through the dialog manager.
    void Focus(int id) const;
    // Presses a button and returns once its handler has run. Not for buttons that open modal
    // windows: the call would wait for the window to close.
    void Click(int id) const;
    // Presses a button without waiting for its handler (for buttons that open modal windows).
    void PostClick(int id) const;
    // Waits for a visible dialog box owned by the main dialog: a file dialog or message box.
    HWND WaitForOwnedDialog() const;
    // Waits until the Results log ends with the text; false (and the log in `log`) when not.
    bool WaitForLogEnding(const std::wstring& ending, std::wstring* log = nullptr) const;
    // Presses Cancel and waits for the process to end; true when it ended.
    bool Cancel();
    // Waits for the process to end; true when it ended.
    bool WaitForExit(DWORD timeoutMs = kPatienceMs);

  private:
    bool FindDialog();
    void CloseOwnedDialogs() const;

    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
    std::wstring failure_;
};

// The control of a dialog box that holds the file name a file dialog is to open: the edit of
// combo box 0x47C (classic dialog) or the edit 0x480 (newer dialog).
HWND FileNameEdit(HWND fileDialog);
// The text of the first static control of the dialog box that is not empty (a message box's
// message, which is its only non-empty static text).
std::wstring MessageText(HWND messageBox);
// Presses the button of a dialog box by its ID without waiting.
void PostDialogButton(HWND dialog, int id);

}  // namespace ostrel::test::e2e
