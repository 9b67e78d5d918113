// The main dialog: the two file names, the Convert button and the Results log.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "engine/host.h"
#include "win/dialog.h"
#include "win/edit.h"
#include "win/file_dialog.h"

namespace ostrel::ui {

// Dialog template 102. The target name follows the source name (a copy of the whole text) until
// the user types a target or chooses one with its browse button or by dropping a file onto it;
// a file dropped anywhere else on the dialog is the source. Both names suggest file-system paths
// as they are typed. The conversion run reads both names and reports through the Results log.
class COstrelDlg : public win::Dialog, public engine::ConversionHost {
  public:
    // Loads the application icon; both mirroring flags start FALSE.
    COstrelDlg();
    ~COstrelDlg() override = default;

    // Appends the text and "\r\n" to the Results log and scrolls its last line into view.
    void AppendResult(const std::wstring& text) override;
    // The source edit's current text.
    std::wstring SourceText() override;
    // The target edit's current text.
    std::wstring TargetText() override;
    // A modal message box owned by the dialog.
    void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                        unsigned flags) override;
    // The system beep of that type (MessageBeep).
    void Beep(unsigned type) override;

  protected:
    win::MessageMap GetMessageMap() const override;
    // Binds the source, target and Results edits.
    void DoDataExchange() override;
    // The error box of text 201, with the error's description and code.
    void OnHandlerError(const ErrorReport& error) override;
    // Adds the About item to the system menu, sets the window's icons, and has the dialog and
    // both name edits take dropped files and the edits suggest paths.
    BOOL OnInitDialog() override;

    // Shows a browse dialog owned by this dialog: the chosen full path, or nothing on cancel.
    // Tests replace it to choose a path without a file dialog on the screen.
    virtual std::optional<std::wstring> RunFileDialog(const win::FileDialog& dialog);

  private:
    std::wstring GetBrowseFileName(const win::Edit& edit);
    void CarrySourceToTarget();
    void ChooseSource(const std::wstring& path);
    void ChooseTarget(const std::wstring& path);

    bool OnSysCommand(WPARAM command, LPARAM position);
    void OnBrowseSource();
    void OnBrowseTarget();
    void OnConvert();
    void OnChangeTarget();
    void OnChangeSource();
    void OnKillFocusSource();
    bool OnDropFiles(WPARAM drop, LPARAM control);
    bool ConfirmReplace(const std::wstring& path);

    HICON m_icon;                    // icon 128, never destroyed (it is a shared resource)
    win::Edit m_sourceEdit;          // control 1000
    win::Edit m_targetEdit;          // control 1002
    win::Edit m_resultsEdit;         // control 1006, the Results log
    BOOL m_targetSetByUser = FALSE;  // the user has set the target: it no longer follows
    BOOL m_sourceChanging =
        FALSE;  // a source change is being carried: target changes are not the user's
};

}  // namespace ostrel::ui
