#include "tests/windows/end_to_end/dialog_driver.h"

#include <algorithm>

#include "res/resource.h"
#include "res/string_table.h"

namespace ostrel::test::e2e {

namespace {

constexpr DWORD kPollMs = 50;
constexpr wchar_t kDialogClass[] = L"#32770";
// Control IDs of the file dialogs: the file-name combo box of the classic dialog and the
// file-name edit (or its combo box) of the newer one.
constexpr int kClassicFileNameCombo = 0x47C;
constexpr int kFileNameControl = 0x480;

// The texts of res/string_table.h are ASCII.
std::wstring Widen(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

// The main dialog's title, from the same header as the resource script.
std::wstring MainTitle() { return Widen(OSTREL_MAIN_TITLE); }

// Sends a message across processes without hanging on a process that stopped answering.
LRESULT SendPatiently(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatienceMs, &result);
    return static_cast<LRESULT>(result);
}

// Enumeration callback that gathers the windows into a vector.
BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

std::wstring WindowText(HWND window) {
    const auto length = SendPatiently(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto copied =
        SendPatiently(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<size_t>(std::max(length, 0)));
}

std::vector<HWND> OwnedDialogs(HWND owner) {
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindows()) {
        if (window != owner && GetWindow(window, GW_OWNER) == owner && IsWindowVisible(window) &&
            ClassName(window) == kDialogClass) {
            dialogs.push_back(window);
        }
    }
    return dialogs;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) windows.push_back(window);
    }
    return windows;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::wstring StringTableText(int id, const std::wstring& argument) {
    std::wstring text;
#define OSTREL_PICK(number, value) \
    if (id == (number)) text = Widen(value);
    OSTREL_RESOURCE_STRINGS(OSTREL_PICK)
#undef OSTREL_PICK
    for (const wchar_t* placeholder : {L"%s", L"%i"}) {
        if (const auto at = text.find(placeholder); at != std::wstring::npos) {
            text.replace(at, 2, argument);
        }
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
        process_ = {};
        return;
    }
    WaitForInputIdle(process_.hProcess, kPatienceMs);
    if (!WaitUntil([this] { return FindDialog(); })) {
        failure_ = L"the dialog \"" + MainTitle() + L"\" did not appear with all its controls";
        dialog_ = nullptr;
    }
}

OstrelSession::~OstrelSession() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        // A test that failed half-way may have left a file dialog or message box open.
        CloseOwnedDialogs();
        if (dialog_ != nullptr) PostMessageW(dialog_, WM_COMMAND, IDCANCEL, 0);
        if (!WaitForExit()) TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, kPatienceMs);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool OstrelSession::FindDialog() {
    const std::wstring title = MainTitle();
    for (HWND window : VisibleWindowsOf(process_.dwProcessId)) {
        if (ClassName(window) != kDialogClass || WindowText(window) != title) continue;
        for (int id : {IDC_SOURCE_EDIT, IDC_BROWSE_SOURCE, IDC_TARGET_EDIT, IDC_BROWSE_TARGET,
                       IDC_CONVERT, IDCANCEL, IDC_RESULTS_EDIT}) {
            if (GetDlgItem(window, id) == nullptr) return false;
        }
        dialog_ = window;
        return true;
    }
    return false;
}

void OstrelSession::CloseOwnedDialogs() const {
    if (dialog_ == nullptr) return;
    for (HWND owned : OwnedDialogs(dialog_)) {
        PostMessageW(owned, WM_COMMAND, IDCANCEL, 0);
    }
    WaitUntil([this] { return OwnedDialogs(dialog_).empty(); }, 5000);
}

HWND OstrelSession::Control(int id) const { return GetDlgItem(dialog_, id); }

std::wstring OstrelSession::Text(int id) const { return WindowText(Control(id)); }

void OstrelSession::SetText(int id, const std::wstring& text) const {
    SendPatiently(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void OstrelSession::Focus(int id) const {
    SendPatiently(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
}

void OstrelSession::Click(int id) const { SendPatiently(Control(id), BM_CLICK, 0, 0); }

void OstrelSession::PostClick(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }

HWND OstrelSession::WaitForOwnedDialog() const {
    HWND found = nullptr;
    WaitUntil([&] {
        const auto dialogs = OwnedDialogs(dialog_);
        if (dialogs.empty()) return false;
        found = dialogs.front();
        return true;
    });
    return found;
}

bool OstrelSession::WaitForLogEnding(const std::wstring& ending, std::wstring* log) const {
    std::wstring text;
    const bool ended = WaitUntil([&] {
        text = Text(IDC_RESULTS_EDIT);
        return text.size() >= ending.size() &&
               text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
    });
    if (log != nullptr) *log = text;
    return ended;
}

bool OstrelSession::Cancel() {
    PostClick(IDCANCEL);
    return WaitForExit();
}

bool OstrelSession::WaitForExit(DWORD timeoutMs) {
    return process_.hProcess != nullptr &&
           WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

HWND FileNameEdit(HWND fileDialog) {
    for (int id : {kClassicFileNameCombo, kFileNameControl}) {
        HWND control = GetDlgItem(fileDialog, id);
        if (control == nullptr) continue;
        if (ClassName(control) == L"Edit") return control;
        // A combo box with an edit field: the edit is its child.
        if (HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr)) return edit;
    }
    // The newer dialog may nest its controls one level deeper.
    for (HWND child : Descendants(fileDialog)) {
        const int id = GetDlgCtrlID(child);
        if ((id == kClassicFileNameCombo || id == kFileNameControl) &&
            ClassName(child) == L"Edit") {
            return child;
        }
    }
    return nullptr;
}

std::wstring MessageText(HWND messageBox) {
    for (HWND child : Descendants(messageBox)) {
        if (ClassName(child) != L"Static") continue;
        std::wstring text = WindowText(child);
        if (!text.empty()) return text;
    }
    return {};
}

void PostDialogButton(HWND dialog, int id) {
    if (HWND button = GetDlgItem(dialog, id)) {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        PostMessageW(dialog, WM_COMMAND, id, 0);
    }
}

}  // namespace ostrel::test::e2e
