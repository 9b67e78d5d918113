// The Results log: the read-only, multi-line Results box of the main dialog.
#include "ui/ostrel_dlg.h"

namespace ostrel::ui {

// The whole text is read and written back on each append: the log is small and appends come one
// per event. The caret goes just before the final line feed, which scrolls the last line (not
// the empty one after it) into view.
void COstrelDlg::AppendResult(const std::wstring& text) {
    const std::wstring log = m_resultsEdit.GetText() + text + L"\r\n";
    m_resultsEdit.SetText(log);
    const int caret = static_cast<int>(log.size()) - 1;
    m_resultsEdit.SetSel(caret, caret);
    m_resultsEdit.ScrollCaret();
}

}  // namespace ostrel::ui
