// The files of a drop from the shell (WM_DROPFILES).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace ostrel::win {

// The files a WM_DROPFILES message hands over, released (DragFinish) when the scope ends.
class DroppedFiles {
  public:
    // Takes over the drop in the message's wParam.
    explicit DroppedFiles(WPARAM drop) noexcept : drop_(reinterpret_cast<HDROP>(drop)) {}
    ~DroppedFiles() { DragFinish(drop_); }
    DroppedFiles(const DroppedFiles&) = delete;
    DroppedFiles& operator=(const DroppedFiles&) = delete;

    // The full path of the first file (the shell lists them in no particular order), or the
    // empty text when the drop holds none.
    std::wstring First() const;

  private:
    HDROP drop_;
};

}  // namespace ostrel::win
