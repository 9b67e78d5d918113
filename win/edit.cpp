#include "win/edit.h"

namespace ostrel::win {

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

}  // namespace ostrel::win
