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

    // Prepares and runs the application; the base does nothing and returns TRUE. Its result
    // would decide whether an application message loop follows; this layer has none (the
    // program's only loop is its modal dialog's), so the process ends when it returns.
    virtual BOOL InitInstance() { return TRUE; }

    // Runs InitInstance and gives the process's exit code.
    int Run() {
        InitInstance();
        return 0;
    }
};

}  // namespace ostrel::win
