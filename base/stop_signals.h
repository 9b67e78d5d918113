// The signals that ask a process to stop (SIGINT, SIGTERM, SIGHUP), held off while work that must
// not be cut short is under way. POSIX only.
#pragma once

#include <signal.h>

namespace ostrel {

// Blocks the stop signals in the calling thread while it lives; threads started meanwhile inherit
// the block. A stop signal that arrives meanwhile stays pending (StopSignalPending tells) and
// takes its course when the block ends, unless the mask before it blocked the signal as well.
class StopSignalsHeld {
  public:
    // What happens to the stop signals when the object ends.
    enum class Release {
        kRestore,  // the thread's mask is restored as it was (a nested hold keeps them held)
        kUnblock,  // they are unblocked, whatever the mask was before: a pending one is delivered
    };

    explicit StopSignalsHeld(Release release = Release::kRestore) noexcept;
    ~StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

  private:
    Release release_;
    sigset_t previous_;
};

// True when a stop signal is pending for this thread or the process (only a held one can be).
bool StopSignalPending() noexcept;

}  // namespace ostrel
