#include "ui/ostrel_dlg.h"

#include "app/about_dlg.h"
#include "engine/conversion.h"
#include "res/resource.h"
#include "res/texts.h"
#include "win/dropped_files.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/registry_key.h"
#include "xml/platform_document.h"

namespace ostrel::ui {

namespace {

// The editor's key, whose value "DataFiles" names the default folder of the browse dialogs.
constexpr wchar_t kEditorKey[] = L"Software\\Korrin\\Vela Editor";
constexpr wchar_t kDataFilesValue[] = L"DataFiles";
// The value is read into a buffer of this many characters, terminating null included.
constexpr std::size_t kDataFilesCapacity = 260;

constexpr wchar_t kProgramExtension[] = L"vlf";
constexpr DWORD kSourceFlags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_DONTADDTORECENT;
constexpr DWORD kTargetFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_DONTADDTORECENT;

}  // namespace

COstrelDlg::COstrelDlg()
    : win::Dialog(IDD_OSTREL_DIALOG),
      m_icon(LoadIconW(win::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

win::MessageMap COstrelDlg::GetMessageMap() const {
    static const win::MessageMapEntry<COstrelDlg> kEntries[] = {
        {WM_SYSCOMMAND, 0, 0, &win::MessageHandler<&COstrelDlg::OnSysCommand>},
        {WM_COMMAND, BN_CLICKED, IDC_BROWSE_SOURCE,
         &win::CommandHandler<&COstrelDlg::OnBrowseSource>},
        {WM_COMMAND, BN_CLICKED, IDC_BROWSE_TARGET,
         &win::CommandHandler<&COstrelDlg::OnBrowseTarget>},
        {WM_COMMAND, BN_CLICKED, IDC_CONVERT, &win::CommandHandler<&COstrelDlg::OnConvert>},
        {WM_COMMAND, EN_CHANGE, IDC_TARGET_EDIT, &win::CommandHandler<&COstrelDlg::OnChangeTarget>},
        {WM_COMMAND, EN_CHANGE, IDC_SOURCE_EDIT, &win::CommandHandler<&COstrelDlg::OnChangeSource>},
        {WM_COMMAND, EN_KILLFOCUS, IDC_SOURCE_EDIT,
         &win::CommandHandler<&COstrelDlg::OnKillFocusSource>},
        {WM_DROPFILES, 0, 0, &win::MessageHandler<&COstrelDlg::OnDropFiles>},
    };
    return win::MessageMap(this, kEntries);
}

void COstrelDlg::DoDataExchange() {
    win::Dialog::DoDataExchange();
    BindControl(IDC_SOURCE_EDIT, m_sourceEdit);
    BindControl(IDC_TARGET_EDIT, m_targetEdit);
    BindControl(IDC_RESULTS_EDIT, m_resultsEdit);
}

BOOL COstrelDlg::OnInitDialog() {
    win::Dialog::OnInitDialog();

    HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
    if (systemMenu != nullptr) {
        const std::wstring aboutItem = LoadText(IDS_ABOUTBOX);
        if (!aboutItem.empty()) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutItem.c_str());
        }
    }

    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    DragAcceptFiles(Handle(), TRUE);
    for (const win::Edit* edit : {&m_sourceEdit, &m_targetEdit}) {
        edit->AcceptDroppedFiles();
        edit->SuggestPaths();
    }
    return TRUE;  // the dialog manager focuses the first tab stop, the source edit
}

bool COstrelDlg::OnSysCommand(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;  // the window's default handling
    app::CAboutDlg aboutDlg(Handle());
    aboutDlg.DoModal();
    return true;
}

std::wstring COstrelDlg::GetBrowseFileName(const win::Edit& edit) {
    std::wstring name = edit.GetText();
    if (!name.empty()) return name;

    // Read access only: asking for write access as well is refused to ordinary users, and the
    // value is only read. The call still creates the key when the process may do so.
    win::RegistryKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kEditorKey, KEY_READ) != ERROR_SUCCESS) return {};
    std::wstring dataFiles;
    if (key.QueryString(kDataFilesValue, kDataFilesCapacity, dataFiles) == ERROR_SUCCESS &&
        !dataFiles.empty()) {
        // The browse dialog opens in the current directory; a failure leaves it where it was.
        SetCurrentDirectoryW(dataFiles.c_str());
    }
    return {};
}

std::optional<std::wstring> COstrelDlg::RunFileDialog(const win::FileDialog& dialog) {
    return dialog.DoModal(Handle());
}

void COstrelDlg::OnBrowseSource() {
    const win::FileDialog dialog(true, kProgramExtension, GetBrowseFileName(m_sourceEdit),
                                 kSourceFlags, LoadText(IDS_SOURCE_FILTER));
    const std::optional<std::wstring> path = RunFileDialog(dialog);
    if (path) ChooseSource(*path);
}

void COstrelDlg::OnBrowseTarget() {
    const win::FileDialog dialog(false, kProgramExtension, GetBrowseFileName(m_targetEdit),
                                 kTargetFlags, LoadText(IDS_TARGET_FILTER));
    const std::optional<std::wstring> path = RunFileDialog(dialog);
    if (path) ChooseTarget(*path);
}

// The user's choice of a source (browse button or drop): the target follows it unless the user
// has set the target.
void COstrelDlg::ChooseSource(const std::wstring& path) {
    m_sourceEdit.SetText(path);
    m_sourceChanging = TRUE;
    CarrySourceToTarget();
}

// The user's choice of a target (browse button or drop): from now on it no longer follows.
void COstrelDlg::ChooseTarget(const std::wstring& path) {
    m_targetEdit.SetText(path);
    if (!m_sourceChanging) m_targetSetByUser = TRUE;
}

void COstrelDlg::OnConvert() { engine::RunConversion(*this, &xml::CreatePlatformDocument); }

void COstrelDlg::OnChangeTarget() {
    if (!m_sourceChanging) m_targetSetByUser = TRUE;
}

void COstrelDlg::OnChangeSource() { m_sourceChanging = TRUE; }

void COstrelDlg::OnKillFocusSource() { CarrySourceToTarget(); }

// A file dropped from the shell: onto the target edit it is the target, anywhere else on the
// dialog the source, each as if chosen with that field's browse button, under the same rules:
// a source must exist, and an existing target is only taken when the user agrees to replace it.
// Of several files the first counts; a folder or a missing source is refused with the beep.
bool COstrelDlg::OnDropFiles(WPARAM drop, LPARAM control) {
    const std::wstring path = win::DroppedFiles(drop).First();
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    const bool onTarget = reinterpret_cast<HWND>(control) == m_targetEdit.Handle();
    if (path.empty() || (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
        (!onTarget && !exists)) {
        Beep(MB_OK);
        return true;
    }
    if (!onTarget) {
        ChooseSource(path);
        return true;
    }
    if (exists && !ConfirmReplace(path)) return true;
    // Pressing the browse button takes the focus from a source being typed, which carries it
    // first; a drop moves no focus, so the carry happens here, or a later one would take the
    // dropped target for a carried copy and overwrite it.
    if (m_sourceChanging) CarrySourceToTarget();
    ChooseTarget(path);
    return true;
}

// The Save As dialog's question about an existing file, with No as the default answer.
bool COstrelDlg::ConfirmReplace(const std::wstring& path) {
    const std::wstring question = FormatText(IDS_CONFIRM_REPLACE, {path});
    const std::wstring caption = LoadText(IDS_CONFIRM_REPLACE_CAPTION);
    return MessageBoxW(Handle(), question.c_str(), caption.c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Copies the source name to the target while the target follows it. The copy raises the
// target's EN_CHANGE while m_sourceChanging is TRUE, so it is not taken as the user's choice.
void COstrelDlg::CarrySourceToTarget() {
    if (!m_targetSetByUser) {
        m_sourceChanging = TRUE;
        m_targetEdit.SetText(m_sourceEdit.GetText());
    }
    m_sourceChanging = FALSE;
}

std::wstring COstrelDlg::SourceText() { return m_sourceEdit.GetText(); }

std::wstring COstrelDlg::TargetText() { return m_targetEdit.GetText(); }

void COstrelDlg::ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                                unsigned flags) {
    MessageBoxW(Handle(), text.c_str(), caption.c_str(), flags);
}

void COstrelDlg::Beep(unsigned type) { MessageBeep(type); }

void COstrelDlg::OnHandlerError(const ErrorReport& error) {
    win::ShowMessageBox(Handle(),
                        FormatText(IDS_UNEXPECTED_ERROR, {error.description, HexCode(error.code)}),
                        MB_OK | MB_ICONHAND);
}

}  // namespace ostrel::ui
