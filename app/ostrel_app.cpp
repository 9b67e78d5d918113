#include "app/ostrel_app.h"

#include <commctrl.h>

#include "base/win32_handles.h"
#include "res/texts.h"
#include "ui/ostrel_dlg.h"
#include "win/message_box.h"

namespace ostrel::app {

BOOL COstrelApp::InitInstance() {
    // The manifest asks for version 6 of the common controls, which must be registered here.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    win::Application::InitInstance();

    // The conversion creates its XML document through COM on this thread.
    const OleInitialization ole;
    if (FAILED(ole.Result())) {
        win::ShowMessageBox(nullptr, LoadText(IDS_OLE_INIT_FAILED), MB_OK | MB_ICONHAND);
        return FALSE;
    }

    // No control container to enable: the program hosts no ActiveX controls.
    // No registry key for profile settings: the program stores none.

    ui::COstrelDlg dialog;
    dialog.DoModal();
    return FALSE;
}

}  // namespace ostrel::app
