// The Windows entry point of ostrel-convert: COM started, then the command line.
#include <string>
#include <vector>

#include "base/stop_requests.h"
#include "base/win32_handles.h"
#include "console/command.h"
#include "console/console_host.h"
#include "res/texts.h"

namespace {

// The arguments, with "/?" (the Windows way to ask for help) read as --help before "--".
std::vector<std::wstring> Arguments(int count, wchar_t** words) {
    std::vector<std::wstring> arguments(words + 1, words + count);
    for (auto& argument : arguments) {
        if (argument == L"--") break;
        if (argument == L"/?") argument = L"--help";
    }
    return arguments;
}

}  // namespace

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
    return ostrel::console::FinishRun(ostrel::console::RunCommand(Arguments(argc, argv)));
}
