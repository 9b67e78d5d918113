// ostrel-convert SOURCE TARGET: one conversion, exactly as the dialog's Convert button runs it.
// With --in-place or --output-dir DIR: a batch of files (console/batch.h).
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/stop_requests.h"
#include "base/utf8.h"
#include "console/batch.h"
#include "console/console_host.h"
#include "res/texts.h"
#include "res/version.h"

#ifdef _WIN32
#include "base/win32_handles.h"
#endif

namespace ostrel::console {

namespace {

int ExitStatusOf(engine::ConversionOutcome outcome) {
    switch (outcome) {
        case engine::ConversionOutcome::Completed:
            return kCompleted;
        case engine::ConversionOutcome::NoFixtureBlocks:
            return kNothingToConvert;
        case engine::ConversionOutcome::MissingInput:
            return kUsage;
        default:
            return kFailed;
    }
}

int Convert(const std::wstring& source, const std::wstring& target) {
    ConsoleHost host(source, target);
    const auto outcome = RunConsoleConversion(host);
    return outcome ? ExitStatusOf(*outcome) : kFailed;
}

// Says what is wrong with the command line, if anything in particular, and how it is used.
int WrongUsage(const std::wstring& problem, unsigned usage) {
    WriteText(stderr, (problem.empty() ? L"" : problem + L"\r\n") + LoadText(usage) + L"\r\n");
    return kUsage;
}

// What the command line asks for.
struct CommandLine {
    std::vector<std::wstring> names;
    bool inPlace = false;
    std::optional<std::wstring> outputFolder;
    std::optional<std::wstring> jobs;

    bool IsBatch() const { return inPlace || outputFolder || jobs; }
};

// A number of files to convert at once: decimal digits only, at least 1.
std::optional<unsigned> ParseJobs(const std::wstring& text) {
    constexpr std::size_t kMostDigits = 9;  // any such number fits
    if (text.empty() || text.size() > kMostDigits ||
        text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const auto jobs = static_cast<unsigned>(std::stoul(text));
    return jobs >= 1 ? std::optional<unsigned>(jobs) : std::nullopt;
}

int RunBatchCommand(const CommandLine& command) {
    if (command.inPlace == command.outputFolder.has_value() || command.names.empty() ||
        (command.outputFolder && command.outputFolder->empty())) {
        return WrongUsage({}, IDS_CONSOLE_BATCH_USAGE);
    }
    BatchOptions options{command.names, command.outputFolder, DefaultJobs()};
    if (command.jobs) {
        const auto jobs = ParseJobs(*command.jobs);
        if (!jobs) {
            return WrongUsage(FormatText(IDS_CONSOLE_BAD_JOBS, {*command.jobs}),
                              IDS_CONSOLE_BATCH_USAGE);
        }
        options.jobs = *jobs;
    }
    return RunBatch(options);
}

int Run(const std::vector<std::wstring>& arguments) {
    CommandLine command;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, L"--") != 0) {
            command.names.push_back(argument);
        } else if (argument == L"--") {
            optionsEnded = true;
        } else if (argument == L"--help") {
            WriteText(stdout, LoadText(IDS_CONSOLE_HELP) + L"\r\n");
            return kCompleted;
        } else if (argument == L"--version") {
            WriteText(stdout, FormatText(IDS_CONSOLE_VERSION,
                                         {L"" OSTREL_PRODUCT_NAME, L"" OSTREL_FILE_VERSION_TEXT,
                                          L"" OSTREL_PRODUCT_VERSION_TEXT}) +
                                  L"\r\n");
            return kCompleted;
        } else if (argument == L"--in-place") {
            command.inPlace = true;
        } else if (argument == L"--output-dir" || argument == L"--jobs") {
            if (++i == arguments.size()) {
                return WrongUsage(FormatText(IDS_CONSOLE_MISSING_VALUE, {argument}),
                                  IDS_CONSOLE_BATCH_USAGE);
            }
            (argument == L"--jobs" ? command.jobs : command.outputFolder) = arguments[i];
        } else {
            return WrongUsage(FormatText(IDS_CONSOLE_BAD_OPTION, {argument}), IDS_CONSOLE_USAGE);
        }
    }
    if (command.IsBatch()) return RunBatchCommand(command);
    if (command.names.size() != 2) return WrongUsage({}, IDS_CONSOLE_USAGE);
    return Convert(command.names[0], command.names[1]);
}

// The status of a run whose output is now complete: a Results log that did not reach standard
// output (a reader that quit, a full disk) is said on standard error, and the status says so
// unless the run failed anyway.
int Finish(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    WriteText(stderr, LoadText(IDS_CONSOLE_LOG_LOST) + L"\r\n");
    return status == kFailed || status == kUsage ? status : kLogLost;
}

}  // namespace

}  // namespace ostrel::console

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // The document service is reached through COM, on this thread.
    const ostrel::OleInitialization ole;
    if (FAILED(ole.Result())) {
        ostrel::console::WriteText(
            stderr, ostrel::console::ErrorLine(ole.Result(), ostrel::LoadText(IDS_CONSOLE_NO_COM)));
        return ostrel::console::kFailed;
    }
    // Ctrl-C stops the run as on POSIX; the process then ends with STATUS_CONTROL_C_EXIT.
    const ostrel::StopRequestsHandled stopRequests;
    return ostrel::console::Finish(
        ostrel::console::Run(std::vector<std::wstring>(argv + 1, argv + argc)));
}
#else
int main(int argc, char** argv) {
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
    return ostrel::console::Finish(ostrel::console::Run(arguments));
}
#endif
