#include "tests/windows/dialog/dialog_driver.h"

#include <algorithm>
#include <set>

namespace ostrel::test {

namespace {

// The watch in progress on this thread; the timer procedure has no other way to reach it.
struct ModalWatch {
    std::set<HWND> before;  // dialog windows that existed before the action
    std::function<void(HWND)> prepare;
    std::vector<ModalWindow> seen;
};
thread_local ModalWatch* activeWatch = nullptr;

bool IsDialogWindow(HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return std::wstring(className) == L"#32770";
}

std::vector<HWND> ThreadDialogs() {
    std::vector<HWND> dialogs;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            if (IsDialogWindow(window))
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

std::vector<std::wstring> ControlTexts(HWND window) {
    std::vector<std::wstring> texts;
    EnumChildWindows(
        window,
        [](HWND control, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(WindowText(control));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

void CALLBACK CloseNewModals(HWND, UINT, UINT_PTR, DWORD) {
    if (activeWatch == nullptr) return;
    for (HWND window : ThreadDialogs()) {
        if (activeWatch->before.count(window) != 0 || !IsWindowVisible(window)) continue;
        activeWatch->seen.push_back(
            {WindowText(window), GetWindow(window, GW_OWNER), ControlTexts(window)});
        activeWatch->before.insert(window);  // a closed window may linger until its loop ends
        if (activeWatch->prepare) activeWatch->prepare(window);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

}  // namespace

void MainDialogTest::SetUp() { ASSERT_NE(dialog.Create(nullptr), nullptr); }

void MainDialogTest::TearDown() {
    if (dialog.Handle() != nullptr) DestroyWindow(dialog.Handle());
}

std::wstring MainDialogTest::Text(int id) const { return WindowText(Item(id)); }

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

void Focus(HWND control) { SetFocus(control); }

void Type(HWND control, const std::wstring& text) {
    Focus(control);
    const int end = GetWindowTextLengthW(control);
    SendMessageW(control, EM_SETSEL, end, end);  // type after the text already there
    for (wchar_t character : text) SendMessageW(control, WM_CHAR, character, 1);
}

void Enter(HWND control, const std::wstring& text) {
    Focus(control);
    SendMessageW(control, EM_SETSEL, 0, -1);
    for (wchar_t character : text) SendMessageW(control, WM_CHAR, character, 1);
}

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace ostrel::test

// The programs are linked with -municode: the C runtime starts them at wmain. OLE is initialised
// once for the thread that runs the tests, as the application does for its dialog.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr))) return 2;
    const int failed = RUN_ALL_TESTS();
    OleUninitialize();
    return failed;
}
