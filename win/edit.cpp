#include "win/edit.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace ostrel::win {

namespace {

constexpr UINT_PTR kDropForwarding = 1;

// The subclass of an edit that takes dropped files: an edit does nothing with a drop itself.
LRESULT CALLBACK ForwardDrops(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
    if (message == WM_DROPFILES) {
        return SendMessageW(GetParent(control), WM_DROPFILES, wParam,
                            reinterpret_cast<LPARAM>(control));
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, &ForwardDrops, kDropForwarding);
    return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

std::wstring Edit::GetText() const {
    const int length = GetWindowTextLengthW(control_);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void Edit::SetText(const std::wstring& text) const { SetWindowTextW(control_, text.c_str()); }

void Edit::SetSel(int start, int end) const { SendMessageW(control_, EM_SETSEL, start, end); }

void Edit::ScrollCaret() const { SendMessageW(control_, EM_SCROLLCARET, 0, 0); }

void Edit::AcceptDroppedFiles() const {
    SetWindowSubclass(control_, &ForwardDrops, kDropForwarding, 0);
    DragAcceptFiles(control_, TRUE);
}

void Edit::SuggestPaths() const { SHAutoComplete(control_, SHACF_FILESYSTEM | SHACF_FILESYS_ONLY); }

}  // namespace ostrel::win
