// Message boxes captioned with the application's name.
#pragma once

#include <windows.h>

#include <string>

namespace ostrel::win {

// Shows a modal message box with the application's name as caption (MB_OK | MB_ICONHAND...);
// `owner` may be nullptr. Returns the button that closed it (IDOK...), 0 when it could not be
// shown.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT type);

}  // namespace ostrel::win
