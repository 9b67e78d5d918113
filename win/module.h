// The program's own module: its resources, its string table and its name.
#pragma once

#include <windows.h>

#include <string>

namespace ostrel::win {

// The module that holds the program's resources (the executable).
HINSTANCE ResourceInstance();

// The application's name: the executable's file name without its extension.
std::wstring ApplicationName();

}  // namespace ostrel::win
