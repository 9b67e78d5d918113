#include "console/console_host.h"

#include "base/error.h"
#include "base/utf8.h"
#include "res/texts.h"
#include "xml/platform_document.h"

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

std::wstring ErrorLine(HResult code, const std::wstring& description) {
    return FormatText(IDS_CONSOLE_ERROR, {HexCode(code), description}) + L"\r\n";
}

void ConsoleHost::Say(std::FILE* stream, std::wstring& kept, const std::wstring& text) {
    if (output_ == Output::kStreams) {
        WriteText(stream, text);
    } else {
        kept += text;
    }
}

void ConsoleHost::ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned) {
    Say(stderr, messages_, caption + L": " + text + L"\r\n");
}

void ConsoleHost::AppendResult(const std::wstring& text) { Say(stdout, log_, text + L"\r\n"); }

void ConsoleHost::ReportError(HResult code, const std::wstring& description) {
    Say(stderr, messages_, ErrorLine(code, description));
}

std::optional<engine::ConversionOutcome> RunConsoleConversion(ConsoleHost& host) {
    try {
        const auto outcome = engine::RunConversion(host, &xml::CreatePlatformDocument);
        if (outcome == engine::ConversionOutcome::NoDocument) {
            host.ReportError(hr::kFail, LoadText(IDS_CONSOLE_NO_DOCUMENT));
        }
        return outcome;
    } catch (...) {
        const ErrorReport error = DescribeCurrentException();
        host.ReportError(error.code, error.description);
    }
    return std::nullopt;
}

}  // namespace ostrel::console
