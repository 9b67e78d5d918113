#include "tests/windows/window_driver.h"

namespace ostrel::test {

namespace {

BOOL CALLBACK AddWindow(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, AddWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool HasClass(HWND window, const std::wstring& name) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return className == name;
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

LRESULT SendPatiently(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatienceMs, &result);
    return static_cast<LRESULT>(result);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(SendPatiently(window, WM_GETTEXTLENGTH)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        SendPatiently(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::vector<HWND> VisibleDialogs(const std::function<bool(HWND)>& wanted) {
    std::vector<HWND> windows, dialogs;
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (IsWindowVisible(window) && HasClass(window, L"#32770") && wanted(window))
            dialogs.push_back(window);
    }
    return dialogs;
}

HWND FileNameEdit(HWND fileDialog) {
    // The classic dialog holds a combo box there, the newer one nests it a level deeper.
    for (HWND child : Descendants(fileDialog)) {
        const int id = GetDlgCtrlID(child);
        if (id != 0x47C && id != 0x480) continue;
        if (HasClass(child, L"Edit")) return child;
        if (HWND edit = FindWindowExW(child, nullptr, L"Edit", nullptr)) return edit;
    }
    return nullptr;
}

ModalWindow Describe(HWND window) {
    ModalWindow seen{WindowText(window), GetWindow(window, GW_OWNER), {}};
    for (HWND control : Descendants(window)) seen.texts.push_back(WindowText(control));
    return seen;
}

}  // namespace ostrel::test
