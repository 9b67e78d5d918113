// Stop requests: what asks a running program to stop before it has finished. POSIX: the
// asynchronous signals whose default action ends the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGALRM, SIGUSR1...), except those ignored when the program started, which stay ignored.
// Windows: Ctrl-C, Ctrl-Break and the closing of the console.
#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

namespace ostrel {

// Takes the stop requests over for the length of a run. A request then only sets a flag, which
// StopRequested reports, so that long work can stop at its next check and a save under way is
// abandoned cleanly; a second request while no save is under way ends the process at once. When
// the object ends after a request, the request takes its course: the process ends as the signal
// would have ended it (POSIX: killed by it, status 128 + its number; Windows:
// STATUS_CONTROL_C_EXIT).
class StopRequestsHandled {
  public:
    StopRequestsHandled() noexcept;
    ~StopRequestsHandled();
    StopRequestsHandled(const StopRequestsHandled&) = delete;
    StopRequestsHandled& operator=(const StopRequestsHandled&) = delete;
};

// Holds stop requests off while it lives, around changes of the file system that must not be cut
// short. POSIX: blocks the stop signals in the calling thread; one that arrives stays pending,
// StopRequested tells, and it takes its course when the block ends (unless a StopRequestsHandled
// takes it over, or the mask before the hold blocked it as well).
class StopRequestsHeld {
  public:
    StopRequestsHeld() noexcept;
    ~StopRequestsHeld();
    StopRequestsHeld(const StopRequestsHeld&) = delete;
    StopRequestsHeld& operator=(const StopRequestsHeld&) = delete;

  private:
#ifndef _WIN32
    sigset_t previous_;
#endif
};

// True when a stop request has arrived: taken over by StopRequestsHandled, or held (pending). Cheap
// enough to be asked at every step of long work.
bool StopRequested() noexcept;

}  // namespace ostrel
