#include "console/console_host.h"

#include "base/utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace ostrel::console {

namespace {

#ifdef _WIN32
constexpr std::wstring_view kLineEnd = L"\r\n";

// The console itself takes wide text directly; anything else (a file, a pipe) gets UTF-8.
bool WriteToConsole(std::FILE* stream, std::wstring_view text) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    std::fflush(stream);
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
#else
constexpr std::wstring_view kLineEnd = L"\n";
#endif

std::wstring WithPlatformLineEnds(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            out += kLineEnd;
            ++i;
        } else if (text[i] == L'\n') {
            out += kLineEnd;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

void WriteText(std::FILE* stream, std::wstring_view text) {
    const std::wstring lines = WithPlatformLineEnds(text);
#ifdef _WIN32
    if (WriteToConsole(stream, lines)) return;
    _setmode(_fileno(stream), _O_BINARY);  // the line ends are already the platform's
#endif
    const std::string bytes = ToUtf8(lines, Utf8Errors::kEscape);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void ConsoleHost::ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned) {
    WriteText(stderr, caption + L": " + text + L"\r\n");
}

void ConsoleHost::AppendResult(const std::wstring& text) { WriteText(stdout, text + L"\r\n"); }

}  // namespace ostrel::console
