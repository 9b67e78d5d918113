// The platform's Open and Save As dialogs (the CFileDialog of this program).
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shobjidl.h>

#include <optional>
#include <string>

namespace ostrel::win {

// One file dialog, described as the classic common dialog describes it.
class FileDialog {
  public:
    // An Open (`open`) or Save As dialog. `defaultExtension` without its dot ("vlf"), initial
    // `fileName` (may be empty), OFN_ `flags`, and `filter` as description|pattern pairs ended
    // by "||" ("Text (*.txt)|*.txt||").
    FileDialog(bool open, std::wstring defaultExtension, std::wstring fileName, DWORD flags,
               std::wstring filter);

    // Shows the dialog owned by `owner`: the newer (Vista-style) dialog where the platform has
    // it, the classic one otherwise. The chosen full path, or nothing when the user cancels.
    // Raises Error when the newer dialog fails after it was created.
    std::optional<std::wstring> DoModal(HWND owner) const;

    bool IsOpen() const { return open_; }                       // Open, not Save As
    const std::wstring& FileName() const { return fileName_; }  // the initial name

  private:
    std::optional<std::wstring> ShowVista(IFileDialog& dialog, HWND owner) const;
    std::optional<std::wstring> ShowClassic(HWND owner) const;
    void SetInitialName(IFileDialog& dialog) const;

    bool open_;
    std::wstring defaultExtension_;
    std::wstring fileName_;
    DWORD flags_;
    std::wstring filter_;
};

}  // namespace ostrel::win
