// What the console converter does its own way on each platform (platform_posix.cpp,
// platform_win32.cpp).
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

#include "base/result.h"

namespace ostrel::console {

// The platform's line end: "\r\n" on Windows, "\n" elsewhere.
std::wstring_view PlatformLineEnd();

// Writes text whose line ends are already the platform's: UTF-8 bytes; on a Windows console, the
// text as it is.
void WritePlatformText(std::FILE* stream, std::wstring_view text);

// True when somebody watches the stream: it is a terminal (a console).
bool IsTerminal(std::FILE* stream);

// Runs `work` on this thread with what a conversion needs started on it (Windows: COM), giving
// it the outcome of that start.
void WithConversionServices(const std::function<void(HResult started)>& work);

}  // namespace ostrel::console
