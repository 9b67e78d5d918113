#include "win/dropped_files.h"

namespace ostrel::win {

std::wstring DroppedFiles::First() const {
    const UINT length = DragQueryFileW(drop_, 0, nullptr, 0);
    if (length == 0) return std::wstring();
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop_, 0, path.data(), length + 1));
    return path;
}

}  // namespace ostrel::win
