#include "win/message_box.h"

#include "win/module.h"

namespace ostrel::win {

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
    return MessageBoxW(owner, text.c_str(), ApplicationName().c_str(), type);
}

}  // namespace ostrel::win
