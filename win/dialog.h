// Dialogs on resource templates, with static message maps (the CDialog of this program).
//
// A derived dialog lists its handlers in a plain static table of MessageMapEntry, returned by
// GetMessageMap. The dialog procedure finds the object through WM_INITDIALOG's creation
// parameter, kept in the window's DWLP_USER slot, and routes each message to the first entry that
// matches. No exception leaves the dialog procedure: one raised by a handler is described
// (DescribeCurrentException) and handed to OnHandlerError, and the dialog goes on working.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "base/error.h"

namespace ostrel::win {

class Dialog;
class Edit;

// One entry of a message map.
struct MessageMapEntry {
    UINT message;  // the window message (WM_COMMAND, WM_SYSCOMMAND...)
    UINT code;     // WM_COMMAND: the notification code (BN_CLICKED, EN_CHANGE...); else 0
    UINT id;       // WM_COMMAND: the control ID; else 0
    // Calls the handler; false when it leaves the message to the dialog manager's default.
    bool (*handler)(Dialog& dialog, WPARAM wParam, LPARAM lParam);
};

// A dialog's message map: a static table of entries, tried in order.
struct MessageMap {
    const MessageMapEntry* entries = nullptr;
    std::size_t count = 0;
};

// The message map of a static table.
template <std::size_t N>
constexpr MessageMap MakeMessageMap(const MessageMapEntry (&entries)[N]) {
    return MessageMap{entries, N};
}

namespace detail {
template <typename Member>
struct HandlerClass;
template <typename Class>
struct HandlerClass<void (Class::*)()> {
    using type = Class;
};
template <typename Class>
struct HandlerClass<bool (Class::*)(WPARAM, LPARAM)> {
    using type = Class;
};
}  // namespace detail

// A message-map handler calling `void Class::Handler()`: commands and control notifications.
template <auto Handler>
bool CommandHandler(Dialog& dialog, WPARAM, LPARAM) {
    using Class = typename detail::HandlerClass<decltype(Handler)>::type;
    (static_cast<Class&>(dialog).*Handler)();
    return true;
}

// A message-map handler calling `bool Class::Handler(WPARAM, LPARAM)`, which returns false to
// leave the message to the dialog manager's default handling.
template <auto Handler>
bool MessageHandler(Dialog& dialog, WPARAM wParam, LPARAM lParam) {
    using Class = typename detail::HandlerClass<decltype(Handler)>::type;
    return (static_cast<Class&>(dialog).*Handler)(wParam, lParam);
}

class Dialog {
  public:
    // A dialog on the program's template `templateId`, owned by `owner`; a modal dialog without
    // an owner is owned by the thread's active window (the main dialog, for dialogs opened in it).
    explicit Dialog(UINT templateId, HWND owner = nullptr);
    // Destroys the window of a modeless dialog that still exists.
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; gives the result passed to EndDialog, or -1 when the dialog
    // could not be created.
    INT_PTR DoModal();
    // Creates the dialog modeless (for tests that drive it) and returns its window, or nullptr.
    // The window lives until the object is destroyed; EndDialog only hides it.
    HWND Create(HWND parent);
    // The dialog's window; nullptr before WM_INITDIALOG and after the window is gone.
    HWND Handle() const { return window_; }
    // Ends the dialog with the result (DoModal returns it).
    void EndDialog(INT_PTR result);

  protected:
    // Called on WM_INITDIALOG; binds the controls through DoDataExchange. TRUE lets the dialog
    // manager put the focus on the first tab stop.
    virtual BOOL OnInitDialog();
    // Binds controls to members with BindControl; the base binds nothing.
    virtual void DoDataExchange() {}
    // The dialog's message map; the base has none.
    virtual MessageMap GetMessageMap() const { return MessageMap{}; }
    // IDOK (the OK button, or Enter): ends the dialog with IDOK.
    virtual void OnOK() { EndDialog(IDOK); }
    // IDCANCEL (Cancel, Escape, the close box): ends the dialog with IDCANCEL.
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Binds `edit` to the dialog's control `id` (the DDX_Control of this layer).
    void BindControl(int id, Edit& edit) const;

    // Tells the user of an exception that ended a handler; the message then counts as handled.
    // The base shows the error's description in an error box owned by the dialog.
    virtual void OnHandlerError(const ErrorReport& error);

  private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool RouteMessage(UINT message, WPARAM wParam, LPARAM lParam);
    template <typename Call>
    INT_PTR Guarded(Call call);

    UINT templateId_;
    HWND owner_;
    HWND window_ = nullptr;
    bool modeless_ = false;
};

}  // namespace ostrel::win
