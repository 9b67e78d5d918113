// The command line of ostrel-convert, read and run the same way on every platform; the platform's
// entry point (main_posix.cpp, main_win32.cpp) prepares the process and calls these.
#pragma once

#include <string>
#include <vector>

namespace ostrel::console {

// Reads the options (getopt_long: short and long forms, abbreviations, "--") and runs what they
// ask for; gives the exit status. `arguments` are the program's arguments after its name.
int RunCommand(const std::vector<std::wstring>& arguments);

// The status of a run whose output is now complete: a Results log that did not reach standard
// output (a reader that quit, a full disk) is said on standard error, and the status says so
// unless the run failed anyway.
int FinishRun(int status);

}  // namespace ostrel::console
