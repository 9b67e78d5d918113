#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/utf8.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace ostrel::test {

std::wstring ConverterPath() { return FromUtf8(OSTREL_CONVERTER); }

#ifdef _WIN32

namespace {
// Quotes one argument by the rules of the C runtime's command-line parser.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

ProcessResult RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ProcessOptions&) {
    TempDir capture;
    ProcessResult result;
    std::wstring commandLine = QuoteArgument(program);
    for (const auto& argument : arguments) commandLine += L" " + QuoteArgument(argument);
    HANDLE out = InheritableFile(capture.File(L"out"));
    HANDLE err = InheritableFile(capture.File(L"err"));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    result.out = ReadBytes(capture.File(L"out")).value_or("");
    result.err = ReadBytes(capture.File(L"err")).value_or("");
    return result;
}

#else

ProcessResult RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const ProcessOptions& options) {
    TempDir capture;
    ProcessResult result;
    const std::string outPath = ToUtf8(capture.File(L"out"), Utf8Errors::kEscape);
    const std::string errPath = ToUtf8(capture.File(L"err"), Utf8Errors::kEscape);
    std::vector<std::string> argv;
    if (options.interrupted) {
        // A shell with SIGINT blocked sends it to itself, then becomes the program: the signal
        // is pending before the program's first instruction, whatever the scheduler does.
        argv = {"/bin/sh", "-c", "kill -INT $$ && exec \"$0\" \"$@\""};
    }
    argv.push_back(ToUtf8(program, Utf8Errors::kEscape));
    for (const auto& argument : arguments) argv.push_back(ToUtf8(argument, Utf8Errors::kEscape));
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int pipeEnds[2] = {-1, -1};
    if (options.output == kClosedPipe && pipe(pipeEnds) == 0) {
        close(pipeEnds[0]);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    } else {
        const std::string& output = options.output.empty() ? outPath : options.output;
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    if (options.interrupted) {
        posix_spawnattr_setsigmask(&attributes, &interrupt);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, pointers.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    result.out = ReadBytes(capture.File(L"out")).value_or("");
    result.err = ReadBytes(capture.File(L"err")).value_or("");
    return result;
}

int RunAsOrdinaryUser(const std::wstring& folder, const std::function<int()>& body) {
    const std::string path = ToUtf8(folder, Utf8Errors::kEscape);
    const int status = StatusOfChild([&] {
        if (chdir(path.c_str()) != 0) _exit(125);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kOrdinaryId) != 0 || setuid(kOrdinaryId) != 0)) {
            _exit(126);
        }
        _exit(body());
    });
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int StatusOfChild(const std::function<void()>& body) {
    std::fflush(nullptr);  // what is buffered is printed once, not once more by the child
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid ? status : -1;
}

#endif

}  // namespace ostrel::test
