#include "base/stop_requests.h"

#include <pthread.h>

namespace ostrel {

namespace {

sigset_t StopSignals() noexcept {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

}  // namespace

StopRequestsHeld::StopRequestsHeld(Release release) noexcept : release_(release) {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

StopRequestsHeld::~StopRequestsHeld() {
    if (release_ == Release::kRestore) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    } else {
        const sigset_t signals = StopSignals();
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    }
}

bool StopRequested() noexcept {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
           sigismember(&pending, SIGHUP) == 1;
}

}  // namespace ostrel
