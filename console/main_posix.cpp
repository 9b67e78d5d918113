// The POSIX entry point of ostrel-convert: the process made safe to run, then the command line.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "base/stop_requests.h"
#include "base/utf8.h"
#include "console/command.h"
#include "console/console_host.h"

namespace {

// Opens each of the standard descriptors 0, 1 and 2 that a parent left closed on /dev/null:
// otherwise the next file opened (a temporary file of a save) would take its number, and the
// Results log or an error message would be written into it. False when one cannot be opened.
bool OpenStandardDescriptors() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken: this one, as those below it are open.
        if (open("/dev/null", O_RDWR) != descriptor) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenStandardDescriptors()) return ostrel::console::kFailed;
    // A save beyond the file-size limit must fail as a write error, not end the process; a reader
    // of the log that quits must not end the conversion either (the writes then fail instead).
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // A stop request (Ctrl-C, SIGTERM, SIGQUIT...) stops the run at its next check: a save under
    // way is abandoned and its temporary file removed. When the run ends, the signal takes its
    // course and ends the process with the signal's status.
    const ostrel::StopRequestsHandled stopRequests;
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(ostrel::FromUtf8(argv[i], ostrel::Utf8Errors::kEscape));
    }
    return ostrel::console::FinishRun(ostrel::console::RunCommand(arguments));
}
