// The program's own module: its resources, its string table and its name.
#pragma once

#include <windows.h>

#include <string>

namespace ostrel::win {

// The module that holds the program's resources (the executable).
HINSTANCE ResourceInstance();

// The string-table text with that number from the program's resources; empty when absent.
std::wstring LoadResourceString(UINT id);

// The application's name: the executable's file name without its extension.
std::wstring ApplicationName();

}  // namespace ostrel::win
