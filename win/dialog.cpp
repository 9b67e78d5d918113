#include "win/dialog.h"

#include "win/edit.h"
#include "win/message_box.h"
#include "win/module.h"

namespace ostrel::win {

Dialog::Dialog(UINT templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

Dialog::~Dialog() {
    if (modeless_ && window_ != nullptr) DestroyWindow(window_);
}

INT_PTR Dialog::DoModal() {
    HWND owner = owner_ != nullptr ? owner_ : GetActiveWindow();
    return DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(templateId_), owner,
                           &Dialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
}

HWND Dialog::Create(HWND parent) {
    modeless_ = true;
    return CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(templateId_), parent,
                              &Dialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) { ::EndDialog(window_, result); }

BOOL Dialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void Dialog::BindControl(int id, Edit& edit) const { edit.Attach(GetDlgItem(window_, id)); }

INT_PTR CALLBACK Dialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->window_ = window;
        return dialog->Guarded([dialog] { return dialog->OnInitDialog(); });
    }
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->window_ = nullptr;
        return FALSE;
    }
    return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> BOOL {
        if (RouteMessage(message, wParam, lParam)) return TRUE;
        if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
            case IDOK:
                OnOK();
                return TRUE;
            case IDCANCEL:
                OnCancel();
                return TRUE;
            default:
                return FALSE;
        }
    });
}

bool Dialog::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return GetMessageMap().Route(*this, message, wParam, lParam);
}

bool detail::Matches(UINT entryMessage, UINT entryCode, UINT entryId, UINT message, WPARAM wParam) {
    if (entryMessage != message) return false;
    return message != WM_COMMAND || (entryCode == HIWORD(wParam) && entryId == LOWORD(wParam));
}

// Runs a handler call; an exception that it raises ends the handler, not the program: it is shown
// to the user and the message counts as handled.
template <typename Call>
INT_PTR Dialog::Guarded(Call call) {
    try {
        return call();
    } catch (...) {
        const ErrorReport error = DescribeCurrentException();
        try {
            OnHandlerError(error);
        } catch (...) {
            // Nothing more can be told; the dialog goes on.
        }
    }
    return TRUE;
}

void Dialog::OnHandlerError(const ErrorReport& error) {
    ShowMessageBox(window_, error.description, MB_OK | MB_ICONHAND);
}

}  // namespace ostrel::win
