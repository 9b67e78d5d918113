// Dialogs on resource templates, with static message maps (the CDialog of this program).
//
// A derived dialog lists its handlers in a plain static table of MessageMapEntry<its class>,
// returned by GetMessageMap as MessageMap(this, table). The dialog procedure finds the object
// through WM_INITDIALOG's creation parameter, kept in the window's DWLP_USER slot, and routes each
// message to the first entry that matches. No exception leaves the dialog procedure: one raised
// by a handler is described (DescribeCurrentException) and handed to OnHandlerError, and the
// dialog goes on working.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <type_traits>

#include "base/error.h"

namespace ostrel::win {

class Dialog;
class Edit;

// One entry of the message map of the dialog class Owner.
template <class Owner>
struct MessageMapEntry {
    UINT message;  // the window message (WM_COMMAND, WM_SYSCOMMAND...)
    UINT code;     // WM_COMMAND: the notification code (BN_CLICKED, EN_CHANGE...); else 0
    UINT id;       // WM_COMMAND: the control ID; else 0
    // Calls the handler; false when it leaves the message to the dialog manager's default.
    bool (*handler)(Owner& dialog, WPARAM wParam, LPARAM lParam);
};

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

// True when the entry's message, notification code and control ID are those of the message.
bool Matches(UINT entryMessage, UINT entryCode, UINT entryId, UINT message, WPARAM wParam);
}  // namespace detail

// A handler calling `void Class::Handler()` (commands and control notifications). It takes a
// Class, so it fits only an entry of Class's own map: naming another class's member does not
// compile.
template <auto Handler>
bool CommandHandler(typename detail::HandlerClass<decltype(Handler)>::type& dialog, WPARAM,
                    LPARAM) {
    (dialog.*Handler)();
    return true;
}

// A handler calling `bool Class::Handler(WPARAM, LPARAM)`, which returns false to leave the
// message to the dialog manager's default handling; like CommandHandler, for Class's map only.
template <auto Handler>
bool MessageHandler(typename detail::HandlerClass<decltype(Handler)>::type& dialog, WPARAM wParam,
                    LPARAM lParam) {
    return (dialog.*Handler)(wParam, lParam);
}

// A dialog's message map: its static table of entries, tried in order.
class MessageMap {
  public:
    // A map without entries.
    MessageMap() = default;

    // The map of `dialog` (pass `this`) on its table. The table's entries are typed by the
    // dialog's class, so that every handler they name is one of that class.
    template <class Owner, std::size_t N>
    MessageMap(const Owner* dialog, const MessageMapEntry<Owner> (&entries)[N])
        : entries_(entries), count_(N), route_(&RouteTo<Owner>) {
        static_assert(std::is_base_of_v<Dialog, Owner>, "a message map belongs to a dialog");
        (void)dialog;
    }

    // Calls the handler of the first entry that matches the message; false when none matches
    // or the handler leaves the message to the default.
    bool Route(Dialog& dialog, UINT message, WPARAM wParam, LPARAM lParam) const {
        return route_ != nullptr && route_(dialog, entries_, count_, message, wParam, lParam);
    }

  private:
    using Router = bool (*)(Dialog& dialog, const void* entries, std::size_t count, UINT message,
                            WPARAM wParam, LPARAM lParam);

    template <class Owner>
    static bool RouteTo(Dialog& dialog, const void* table, std::size_t count, UINT message,
                        WPARAM wParam, LPARAM lParam) {
        const auto* entries = static_cast<const MessageMapEntry<Owner>*>(table);
        for (std::size_t i = 0; i < count; ++i) {
            const MessageMapEntry<Owner>& entry = entries[i];
            if (!detail::Matches(entry.message, entry.code, entry.id, message, wParam)) continue;
            return entry.handler(static_cast<Owner&>(dialog), wParam, lParam);
        }
        return false;
    }

    const void* entries_ = nullptr;
    std::size_t count_ = 0;
    Router route_ = nullptr;
};

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
