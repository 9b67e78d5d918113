#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "base/utf8.h"
#include "base/win32_handles.h"
#include "console/platform.h"

namespace ostrel::console {

namespace {

// The console itself takes wide text directly; false when the stream is no console.
bool WriteToConsole(std::FILE* stream, std::wstring_view text) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    std::fflush(stream);
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

std::wstring_view PlatformLineEnd() { return L"\r\n"; }

void WritePlatformText(std::FILE* stream, std::wstring_view text) {
    if (WriteToConsole(stream, text)) return;
    // Anything else (a file, a pipe) gets UTF-8, whose line ends are already the platform's.
    _setmode(_fileno(stream), _O_BINARY);
    const std::string bytes = ToUtf8(text, Utf8Errors::kEscape);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

void WithConversionServices(const std::function<void(HResult)>& work) {
    // The document service is reached through COM, which each thread starts for itself.
    const OleInitialization ole;
    work(ole.Result());
}

}  // namespace ostrel::console
