// Runs a program as a user would and collects what it printed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ostrel::test {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or -1 when the program could not be run
    std::string out;    // standard output, as bytes
    std::string err;    // standard error, as bytes
};

// How a program is started, beyond its arguments (POSIX only).
struct ProcessOptions {
    // Where standard output goes instead of being captured: a file such as "/dev/full", or
    // kClosedPipe for a pipe whose reader has quit.
    std::string output;
    // The program starts with SIGINT blocked and already pending (POSIX).
    bool interrupted = false;
};
inline constexpr const char* kClosedPipe = "|";

// Runs the program with the arguments (passed as they are, no shell) and waits for it.
ProcessResult RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ProcessOptions& options = {});

// The console converter built with the tests.
std::wstring ConverterPath();

#ifndef _WIN32
// Runs `body` in a forked child, which ends when it returns (status 0) unless `body` ends it
// first (_exit, a signal); gives the child's wait status, or -1 when it could not be run.
int StatusOfChild(const std::function<void()>& body);

// The user and group an ordinary user's test runs as when the tests run as the superuser.
constexpr unsigned kOrdinaryId = 65534;

// Runs `body` in a child process as an ordinary user (kOrdinaryId when the tests run as the
// superuser, who passes every permission check; the current user otherwise), in `folder` as its
// working directory, and gives its result, or -1 when the child did not end normally. The folder
// is entered first, so that the folders above it need not be open to that user.
int RunAsOrdinaryUser(const std::wstring& folder, const std::function<int()>& body);
#endif

}  // namespace ostrel::test
