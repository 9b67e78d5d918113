#include "base/stop_requests.h"

#include <pthread.h>

#include <atomic>
#include <initializer_list>

namespace ostrel {

namespace {

// The state a signal handler shares with the program: the accepted exception to "no global
// state", since a handler can reach nothing else. The signal last asked for (0: none) and the
// number of saves under way, which a second request must not cut short.
std::atomic<int> requested{0};
std::atomic<int> holds{0};

// The signals whose default action ends the process and that come from outside it, less those
// ignored when this was first asked, which stay ignored. SIGXFSZ is not one: it is ignored for the
// run, so that a write beyond the file-size limit fails with EFBIG, which the save reports.
sigset_t FindStopSignals() noexcept {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {
             SIGHUP,
             SIGINT,
             SIGQUIT,
             SIGTERM,
             SIGALRM,
             SIGUSR1,
             SIGUSR2,
             SIGVTALRM,
             SIGPROF,
             SIGXCPU,
             SIGIO,
#ifdef SIGPWR
             SIGPWR,
#endif
         }) {
        struct sigaction action;
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
            sigaddset(&signals, signal);
        }
    }
    return signals;
}

// Found at the first use, and again when the stop requests are taken over for a run.
sigset_t& StopSignals() noexcept {
    static sigset_t signals = FindStopSignals();
    return signals;
}

// Ends the process as the signal's default action does.
[[noreturn]] void TakeItsCourse(int signal) noexcept {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    raise(signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    _exit(128 + signal);  // not reached: the signal ends the process once unblocked
}

void OnStopRequest(int signal) {
    const int earlier = requested.exchange(signal);
    if (earlier != 0 && holds.load() == 0) TakeItsCourse(signal);
}

}  // namespace

StopRequestsHandled::StopRequestsHandled() noexcept {
    const sigset_t& signals = StopSignals() = FindStopSignals();
    struct sigaction action = {};
    action.sa_handler = OnStopRequest;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction fileSizeLimit;
    if (sigaction(SIGXFSZ, nullptr, &fileSizeLimit) == 0 && fileSizeLimit.sa_handler == SIG_DFL) {
        sigaction(SIGXFSZ, &ignore, nullptr);
    }
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction old;
        // A handler installed before (a debugger's, a sanitizer's) is left in place.
        if (sigismember(&signals, signal) == 1 && sigaction(signal, nullptr, &old) == 0 &&
            old.sa_handler == SIG_DFL && (old.sa_flags & SA_SIGINFO) == 0) {
            sigaction(signal, &action, nullptr);
        }
    }
}

StopRequestsHandled::~StopRequestsHandled() {
    if (const int signal = requested.load(); signal != 0) TakeItsCourse(signal);
    // One still blocked since the program started takes its course once let through.
    sigset_t pending;
    if (sigpending(&pending) != 0) return;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&StopSignals(), signal) == 1 && sigismember(&pending, signal) == 1) {
            TakeItsCourse(signal);
        }
    }
}

StopRequestsHeld::StopRequestsHeld() noexcept {
    holds.fetch_add(1);
    pthread_sigmask(SIG_BLOCK, &StopSignals(), &previous_);
}

StopRequestsHeld::~StopRequestsHeld() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    holds.fetch_sub(1);
}

bool StopRequested() noexcept {
    if (requested.load(std::memory_order_relaxed) != 0) return true;
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&StopSignals(), signal) == 1 && sigismember(&pending, signal) == 1) {
            return true;
        }
    }
    return false;
}

}  // namespace ostrel
