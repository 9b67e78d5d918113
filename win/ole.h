// OLE on the current thread, for the length of a scope.
#pragma once

#include <windows.h>

namespace ostrel::win {

// Initialises OLE (OleInitialize) on construction and, if that succeeded, uninitialises it when
// the scope ends. Trap: must be created and destroyed on the same thread.
class OleInitialization {
  public:
    OleInitialization();
    ~OleInitialization();
    OleInitialization(const OleInitialization&) = delete;
    OleInitialization& operator=(const OleInitialization&) = delete;

    // True when OLE is ready on this thread.
    bool Succeeded() const { return SUCCEEDED(result_); }
    // OleInitialize's result (RPC_E_CHANGED_MODE when COM runs multithreaded here already).
    HRESULT Result() const { return result_; }

  private:
    HRESULT result_;
};

}  // namespace ostrel::win
