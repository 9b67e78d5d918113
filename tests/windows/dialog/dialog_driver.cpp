#include "tests/windows/dialog/dialog_driver.h"

#include <gtest/gtest.h>

#include <set>

namespace ostrel::test {

namespace {

// The watch in progress on this thread; the timer procedure has no other way to reach it.
struct ModalWatch {
    std::set<HWND> before;  // dialog windows that existed before the action (or were closed)
    std::function<void(HWND)> prepare;
    std::vector<ModalWindow> seen;
};
thread_local ModalWatch* activeWatch = nullptr;

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadDialogs() {
    std::vector<HWND> windows, dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (std::wstring(className) == L"#32770") dialogs.push_back(window);
    }
    return dialogs;
}

void CALLBACK CloseNewModals(HWND, UINT, UINT_PTR, DWORD) {
    if (activeWatch == nullptr) return;
    for (HWND window : ThreadDialogs()) {
        if (activeWatch->before.count(window) != 0 || !IsWindowVisible(window)) continue;
        std::vector<HWND> controls;
        EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&controls));
        ModalWindow seen{WindowText(window), GetWindow(window, GW_OWNER), {}};
        for (HWND control : controls) seen.texts.push_back(WindowText(control));
        activeWatch->seen.push_back(seen);
        activeWatch->before.insert(window);  // a closed window may linger until its loop ends
        if (activeWatch->prepare) activeWatch->prepare(window);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

}  // namespace

MainDialog::MainDialog() { EXPECT_NE(Create(nullptr), nullptr); }

// Destroyed here, while the dialog procedure can still reach this class's message map.
MainDialog::~MainDialog() {
    if (Handle() != nullptr) DestroyWindow(Handle());
}

void MainDialog::Type(int id, const std::wstring& text) const {
    Focus(id);
    SendMessageW(Item(id), EM_SETSEL, 0, -1);
    for (wchar_t character : text) SendMessageW(Item(id), WM_CHAR, character, 1);
}

std::vector<ModalWindow> RunClosingModals(const std::function<void()>& action,
                                          const std::function<void(HWND)>& prepare) {
    ModalWatch watch;
    watch.prepare = prepare;
    for (HWND window : ThreadDialogs()) watch.before.insert(window);
    activeWatch = &watch;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &CloseNewModals);
    action();
    KillTimer(nullptr, timer);
    activeWatch = nullptr;
    return watch.seen;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace ostrel::test
