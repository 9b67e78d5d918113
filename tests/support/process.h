// Runs a program as a user would and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace ostrel::test {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or -1 when the program could not be run
    std::string out;    // standard output, as bytes
    std::string err;    // standard error, as bytes
};

// Runs the program with the arguments (passed as they are, no shell) and waits for it.
ProcessResult RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The console converter built with the tests.
std::wstring ConverterPath();

}  // namespace ostrel::test
