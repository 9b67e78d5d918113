// The platform's Open and Save As dialogs (the CFileDialog of this program).
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shobjidl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

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

    bool IsOpen() const { return open_; }                                       // Open, not Save As
    const std::wstring& DefaultExtension() const { return defaultExtension_; }  // without the dot
    const std::wstring& FileName() const { return fileName_; }                  // the initial name
    DWORD Flags() const { return flags_; }                                      // OFN_ flags
    const std::wstring& Filter() const { return filter_; }                      // "|"-separated

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

// The (description, pattern) pairs of a "|"-separated filter; an unpaired tail is dropped.
std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(const std::wstring& filter);

// The newer dialog's FOS_ options that stand for the classic OFN_ flags (those without a
// counterpart, such as OFN_HIDEREADONLY, are dropped).
FILEOPENDIALOGOPTIONS FileDialogOptions(DWORD flags);

}  // namespace ostrel::win
