#include "tests/windows/end_to_end/ostrel_session.h"

#include <algorithm>

#include "res/resource.h"
#include "res/string_table.h"

namespace ostrel::test {

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
    const std::wstring title = L"" OSTREL_MAIN_TITLE;
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

void OstrelSession::Type(int id, const std::wstring& text, int next) const {
    SendPatiently(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, id)), TRUE);
    SendPatiently(GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendPatiently(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, next)),
                  TRUE);
}

bool OstrelSession::Convert(const std::wstring& line) const {
    SendPatiently(GetDlgItem(dialog_, IDC_CONVERT), BM_CLICK);
    return WaitUntil([&] { return Text(IDC_RESULTS_EDIT).find(line) != std::wstring::npos; });
}

bool OstrelSession::WaitForExit(DWORD timeoutMs) const {
    return process_.hProcess != nullptr &&
           WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace ostrel::test
