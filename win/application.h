// The application object (the CWinApp of this program): the process's work runs in InitInstance.
#pragma once

#include <windows.h>

namespace ostrel::win {

class Application {
  public:
    Application() = default;
    virtual ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Prepares and runs the application; the base does nothing and returns TRUE. The result says
    // whether the application's message loop follows (TRUE) or the process ends (FALSE). Ostrel's
    // answers FALSE: its only loop is its modal dialog's.
    virtual BOOL InitInstance() { return TRUE; }

    // Runs InitInstance, then, when it asks for it, the message loop until WM_QUIT. Gives the
    // process's exit code: the code that WM_QUIT carries, or 0 when no loop ran.
    int Run() {
        if (!InitInstance()) return 0;
        MSG message{};
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return got == 0 ? static_cast<int>(message.wParam) : -1;
    }
};

}  // namespace ostrel::win
