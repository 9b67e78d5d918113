// What the Windows tests share to work windows, in this process or in another: messages, texts,
// the visible dialog boxes and their file-name field. Trap: GetWindowTextW and SetFocus do not
// work across processes; window messages do, in this process too.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace ostrel::test {

// The longest that any step waits for another process: generous, as Wine is slow to start.
constexpr DWORD kPatienceMs = 20000;

// Polls the condition until it holds (true) or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);
// Sends a message without hanging on a process that stopped answering; the result, or 0.
LRESULT SendPatiently(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::wstring WindowText(HWND window);  // by WM_GETTEXT
// The visible dialog boxes (class "#32770") that pass the test.
std::vector<HWND> VisibleDialogs(const std::function<bool(HWND)>& wanted);
HWND FileNameEdit(HWND fileDialog);  // the file dialog's file-name edit, or nullptr

// What a dialog box shows: its caption, its owner and the texts of its controls.
struct ModalWindow {
    std::wstring title;
    HWND owner = nullptr;
    std::vector<std::wstring> texts;

    bool Shows(const std::wstring& text) const {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
};
ModalWindow Describe(HWND window);

}  // namespace ostrel::test
