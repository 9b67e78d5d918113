#include "tests/windows/dialog/dialog_driver.h"

#include <shlobj.h>

#include <cstring>
#include <set>

namespace ostrel::test {

namespace {

// The watch in progress on this thread; the timer procedure has no other way to reach it.
struct ModalWatch {
    std::set<HWND> handled;  // dialog boxes that existed before the action, or were closed
    std::function<void(HWND)> prepare;
    std::vector<ModalWindow> seen;
};
thread_local ModalWatch* activeWatch = nullptr;

std::vector<HWND> ThreadDialogs() {
    return VisibleDialogs([](HWND window) {
        return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    });
}

void CALLBACK CloseNewModals(HWND, UINT, UINT_PTR, DWORD) {
    for (HWND window : ThreadDialogs()) {
        // A closed window may linger until its modal loop ends: each is handled once.
        if (activeWatch == nullptr || !activeWatch->handled.insert(window).second) continue;
        activeWatch->seen.push_back(Describe(window));
        if (activeWatch->prepare) activeWatch->prepare(window);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

}  // namespace

void MainDialog::Type(int id, const std::wstring& text) const {
    Focus(id);
    SendMessageW(Item(id), EM_SETSEL, 0, -1);
    for (wchar_t character : text) SendMessageW(Item(id), WM_CHAR, character, 1);
}

void MainDialog::Drop(int id, const std::vector<std::wstring>& files) const {
    std::wstring names;
    for (const std::wstring& file : files) names += file + L'\0';
    names += L'\0';
    const HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(drop);
    SendMessageW(id == 0 ? Handle() : Item(id), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

std::optional<std::wstring> MainDialog::RunFileDialog(const win::FileDialog& dialog) {
    browseDialogs.push_back(dialog);
    if (browseFailure) browseFailure();
    return browseAnswer;
}

std::vector<ModalWindow> RunClosingModals(const std::function<void()>& action,
                                          const std::function<void(HWND)>& prepare) {
    ModalWatch watch{{}, prepare, {}};
    for (HWND window : ThreadDialogs()) watch.handled.insert(window);
    activeWatch = &watch;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &CloseNewModals);
    action();
    KillTimer(nullptr, timer);
    activeWatch = nullptr;
    return watch.seen;
}

}  // namespace ostrel::test
