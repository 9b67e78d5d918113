#include "tests/windows/end_to_end/dialog_driver.h"

#include <algorithm>

#include "res/resource.h"
#include "res/string_table.h"

namespace ostrel::test::e2e {

namespace {

// The texts of res/string_table.h are ASCII.
std::wstring Widen(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

// Sends a message across processes without hanging on a process that stopped answering.
LRESULT SendPatiently(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatienceMs, &result);
    return static_cast<LRESULT>(result);
}

bool HasClass(HWND window, const std::wstring& name) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return className == name;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

// The visible dialog boxes (class "#32770") that pass the test.
std::vector<HWND> VisibleDialogs(const std::function<bool(HWND)>& wanted) {
    std::vector<HWND> windows, dialogs;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (IsWindowVisible(window) && HasClass(window, L"#32770") && wanted(window))
            dialogs.push_back(window);
    }
    return dialogs;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
    return true;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(SendPatiently(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                      L'\0');
    text.resize(static_cast<size_t>(
        SendPatiently(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring StringTableText(int id, const std::wstring& argument) {
    std::wstring text;
#define OSTREL_PICK(number, value) \
    if (id == (number)) text = Widen(value);
    OSTREL_RESOURCE_STRINGS(OSTREL_PICK)
#undef OSTREL_PICK
    for (const wchar_t* placeholder : {L"%s", L"%i"}) {
        if (const auto at = text.find(placeholder); at != std::wstring::npos)
            text.replace(at, 2, argument);
    }
    return text;
}

std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    std::wstring windows = L"Z:" + path;
    std::replace(windows.begin(), windows.end(), L'/', L'\\');
    return windows;
}

OstrelSession::OstrelSession(const std::wstring& program) {
    const std::wstring path = WindowsPath(program);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
        failure_ = L"cannot start " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return;
    }
    const std::wstring title = Widen(OSTREL_MAIN_TITLE);
    WaitUntil([&] {
        const auto found = VisibleDialogs([&](HWND window) {
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            return processId == process_.dwProcessId && WindowText(window) == title;
        });
        dialog_ = found.empty() ? nullptr : found.front();
        return dialog_ != nullptr;
    });
    if (dialog_ == nullptr) failure_ = L"the dialog \"" + title + L"\" did not appear";
}

OstrelSession::~OstrelSession() {
    if (process_.hProcess == nullptr) return;
    // Cancel ends the program, unless a test that failed half-way left a modal window open.
    PostMessageW(dialog_, WM_COMMAND, IDCANCEL, 0);
    if (!WaitForExit(5000)) TerminateProcess(process_.hProcess, 1);
    WaitForExit();
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

std::wstring OstrelSession::Text(int id) const { return WindowText(GetDlgItem(dialog_, id)); }

void OstrelSession::Type(int id, const std::wstring& text, int next) const {
    SendPatiently(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, id)), TRUE);
    SendPatiently(GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendPatiently(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, next)),
                  TRUE);
}

void OstrelSession::Click(int id, bool wait) const {
    if (wait) SendPatiently(GetDlgItem(dialog_, id), BM_CLICK, 0, 0);
    if (!wait) PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0);
}

std::vector<HWND> OstrelSession::OwnedDialogs() const {
    if (dialog_ == nullptr) return {};
    return VisibleDialogs([this](HWND window) { return GetWindow(window, GW_OWNER) == dialog_; });
}

bool OstrelSession::WaitForExit(DWORD timeoutMs) const {
    return process_.hProcess != nullptr &&
           WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

HWND FileNameEdit(HWND fileDialog) {
    // The newer dialog may nest its controls a level deeper: search all descendants.
    for (HWND child : Descendants(fileDialog)) {
        const int id = GetDlgCtrlID(child);
        if (id != 0x47C && id != 0x480) continue;
        if (HasClass(child, L"Edit")) return child;
        if (HWND edit = FindWindowExW(child, nullptr, L"Edit", nullptr)) return edit;
    }
    return nullptr;
}

bool Shows(HWND window, const std::wstring& text) {
    for (HWND child : Descendants(window)) {
        if (WindowText(child) == text) return true;
    }
    return false;
}

}  // namespace ostrel::test::e2e
