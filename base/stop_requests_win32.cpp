#include "base/stop_requests.h"

#include <windows.h>

#include <atomic>

namespace ostrel {

namespace {

// The state the console's control handler shares with the program: the handler runs on a thread
// of its own that the system starts, and can reach nothing but what is global. Whether a stop was
// asked, and the number of saves under way, which it must not cut short.
std::atomic<bool> requested{false};
std::atomic<int> holds{0};

BOOL WINAPI OnControlEvent(DWORD event) {
    const bool earlier = requested.exchange(true);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // Handled: the program stops at its next check; a second request with no save under way
        // ends it at once, here rather than by the system's own handler, whose status is not
        // STATUS_CONTROL_C_EXIT everywhere (Wine 8's ends the process with status 0).
        if (earlier && holds.load() == 0) ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
        return TRUE;
    }
    // The console is closing (or the user logging off): the process ends when this returns, so
    // the save under way is given the time to abandon itself and remove its temporary file.
    for (int waited = 0; holds.load() != 0 && waited < 400; ++waited) Sleep(10);
    return FALSE;
}

}  // namespace

StopRequestsHandled::StopRequestsHandled() noexcept { SetConsoleCtrlHandler(OnControlEvent, TRUE); }

StopRequestsHandled::~StopRequestsHandled() {
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    if (requested.load()) ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// The handler runs on its own thread: nothing is blocked, the saves only count themselves so that
// the handler waits for them, and they look at StopRequested before every change.
StopRequestsHeld::StopRequestsHeld() noexcept { holds.fetch_add(1); }

StopRequestsHeld::~StopRequestsHeld() { holds.fetch_sub(1); }

bool StopRequested() noexcept { return requested.load(std::memory_order_relaxed); }

}  // namespace ostrel
