#include "win/file_dialog.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "base/error.h"
#include "base/win32_handles.h"

namespace ostrel::win {

namespace {

// The (description, pattern) pairs of a "|"-separated filter; an unpaired tail is dropped.
std::vector<std::pair<std::wstring, std::wstring>> ParseFilter(const std::wstring& filter) {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t bar = filter.find(L'|'); bar != std::wstring::npos;
         bar = filter.find(L'|', start)) {
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    parts.push_back(filter.substr(start));
    // The filter ends at the first empty description (the "||" that closes it).
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

// The newer dialog's FOS_ options that stand for the classic OFN_ flags (those without a
// counterpart, such as OFN_HIDEREADONLY, are dropped).
FILEOPENDIALOGOPTIONS FileDialogOptions(DWORD flags) {
    static const struct {
        DWORD classic;
        FILEOPENDIALOGOPTIONS option;
    } kCounterparts[] = {
        {OFN_FILEMUSTEXIST, FOS_FILEMUSTEXIST},
        {OFN_OVERWRITEPROMPT, FOS_OVERWRITEPROMPT},
        {OFN_PATHMUSTEXIST, FOS_PATHMUSTEXIST},
        {OFN_DONTADDTORECENT, FOS_DONTADDTORECENT},
    };
    FILEOPENDIALOGOPTIONS options = 0;
    for (const auto& counterpart : kCounterparts) {
        if ((flags & counterpart.classic) != 0) options |= counterpart.option;
    }
    return options;
}

}  // namespace

FileDialog::FileDialog(bool open, std::wstring defaultExtension, std::wstring fileName, DWORD flags,
                       std::wstring filter)
    : open_(open),
      defaultExtension_(std::move(defaultExtension)),
      fileName_(std::move(fileName)),
      flags_(flags),
      filter_(std::move(filter)) {}

std::optional<std::wstring> FileDialog::DoModal(HWND owner) const {
    ComPtr<IFileDialog> dialog;
    const CLSID& dialogClass = open_ ? CLSID_FileOpenDialog : CLSID_FileSaveDialog;
    if (FAILED(CoCreateInstance(dialogClass, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                dialog.PutVoid()))) {
        return ShowClassic(owner);
    }
    return ShowVista(*dialog.Get(), owner);
}

std::optional<std::wstring> FileDialog::ShowVista(IFileDialog& dialog, HWND owner) const {
    FILEOPENDIALOGOPTIONS options = 0;
    CheckHr(dialog.GetOptions(&options));
    CheckHr(dialog.SetOptions(options | FileDialogOptions(flags_)));

    const auto pairs = ParseFilter(filter_);
    std::vector<COMDLG_FILTERSPEC> types;
    for (const auto& [description, pattern] : pairs) {
        types.push_back({description.c_str(), pattern.c_str()});
    }
    if (!types.empty()) CheckHr(dialog.SetFileTypes(static_cast<UINT>(types.size()), types.data()));
    CheckHr(dialog.SetDefaultExtension(defaultExtension_.c_str()));
    SetInitialName(dialog);

    const HRESULT shown = dialog.Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return std::nullopt;
    CheckHr(shown);
    ComPtr<IShellItem> item;
    CheckHr(dialog.GetResult(item.Put()));
    TaskMemory<wchar_t> path;
    CheckHr(item->GetDisplayName(SIGDN_FILESYSPATH, path.Put()));
    return std::wstring(path.Get());
}

// The newer dialog takes a folder and a bare name where the classic one takes a path: a name
// with a folder that exists opens in that folder.
void FileDialog::SetInitialName(IFileDialog& dialog) const {
    if (fileName_.empty()) return;
    const std::size_t slash = fileName_.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        const std::wstring folder = fileName_.substr(0, slash + 1);
        ComPtr<IShellItem> item;
        if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem,
                                                  item.PutVoid()))) {
            CheckHr(dialog.SetFolder(item.Get()));
            CheckHr(dialog.SetFileName(fileName_.substr(slash + 1).c_str()));
            return;
        }
    }
    CheckHr(dialog.SetFileName(fileName_.c_str()));
}

std::optional<std::wstring> FileDialog::ShowClassic(HWND owner) const {
    // The classic dialog takes the filter as null-separated strings ended by two nulls.
    std::wstring filter;
    for (const auto& [description, pattern] : ParseFilter(filter_)) {
        filter += description + L'\0' + pattern + L'\0';
    }
    filter += L'\0';
    std::wstring path = fileName_;
    path.resize(path.size() > MAX_PATH ? path.size() + 1 : MAX_PATH, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = defaultExtension_.c_str();
    dialog.Flags = flags_ | OFN_EXPLORER;
    const BOOL chosen = open_ ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
    if (!chosen) return std::nullopt;
    return std::wstring(path.c_str());
}

}  // namespace ostrel::win
