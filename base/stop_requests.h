// Stop requests: what asks a running program to stop before it has finished. POSIX: the
// asynchronous signals whose default action ends the process (SIGINT, SIGTERM, SIGHUP...), except
// those ignored when the program started. Windows: Ctrl-C and Ctrl-Break in a console.
#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

namespace ostrel {

// Holds stop requests off while it lives, so that work that must not be cut short can finish or
// abandon itself cleanly. POSIX: blocks the stop signals in the calling thread (threads started
// meanwhile inherit the block); one that arrives stays pending, StopRequested tells, and it takes
// its course when the block ends, unless the mask before it blocked the signal as well.
class StopRequestsHeld {
  public:
    // What happens to the stop requests when the object ends.
    enum class Release {
        kRestore,  // as they were before (a nested hold keeps them held)
        kUnblock,  // let through whatever they were before: a pending one takes its course
    };

    explicit StopRequestsHeld(Release release = Release::kRestore) noexcept;
    ~StopRequestsHeld();
    StopRequestsHeld(const StopRequestsHeld&) = delete;
    StopRequestsHeld& operator=(const StopRequestsHeld&) = delete;

  private:
    Release release_;
#ifndef _WIN32
    sigset_t previous_;
#endif
};

// True when a stop request has arrived and is being held (only a held one can be seen here).
bool StopRequested() noexcept;

}  // namespace ostrel
