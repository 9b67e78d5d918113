#include "console/console_host.h"

#include "base/error.h"
#include "console/platform.h"
#include "io/paths.h"
#include "res/texts.h"
#include "xml/platform_document.h"

namespace ostrel::console {

namespace {

std::wstring WithPlatformLineEnds(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            out += PlatformLineEnd();
            ++i;
        } else if (text[i] == L'\n') {
            out += PlatformLineEnd();
        } else {
            out += text[i];
        }
    }
    return out;
}

// The reason of a failed load in its log line ("File Open Error:   reason").
std::wstring LoadFailureReason(const std::wstring& line) {
    const std::wstring prefix = FormatText(IDS_FILE_OPEN_ERROR, {L""});
    return line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
}

}  // namespace

void WriteText(std::FILE* stream, std::wstring_view text) {
    WritePlatformText(stream, WithPlatformLineEnds(text));
}

std::wstring ErrorLine(HResult code, const std::wstring& description) {
    return FormatText(IDS_CONSOLE_ERROR, {HexCode(code), description}) + L"\r\n";
}

std::wstring FileFailureLine(const std::wstring& file, const std::wstring& reason) {
    return FormatText(IDS_CONSOLE_FILE_FAILED, {file, reason}) + L"\r\n";
}

void ConsoleHost::Say(std::FILE* stream, std::wstring& kept, const std::wstring& text) {
    if (output_ == Output::kStreams) {
        WriteText(stream, text);
    } else {
        kept += text;
    }
}

void ConsoleHost::AppendResult(const std::wstring& text) {
    lastResult_ = text;
    if (results_ == Results::kShown) Say(stdout, logText_, text + L"\r\n");
}

void ConsoleHost::ReportError(HResult code, const std::wstring& description) {
    Say(stderr, messages_,
        FileFailureLine(source_, FormatText(IDS_CONSOLE_UNEXPECTED, {description, HexCode(code)})));
}

void ConsoleHost::SayFailure(engine::ConversionOutcome outcome) {
    using engine::ConversionOutcome;
    switch (outcome) {
        case ConversionOutcome::kMissingInput:
            Say(stderr, messages_,
                FileFailureLine(source_,
                                LoadText(io::PathExists(source_) ? IDS_CONSOLE_NO_TARGET_NAME
                                                                 : IDS_CONSOLE_FILE_MISSING)));
            break;
        case ConversionOutcome::kLoadFailed:
            Say(stderr, messages_, FileFailureLine(source_, LoadFailureReason(lastResult_)));
            break;
        case ConversionOutcome::kNotProgramFile:
            Say(stderr, messages_,
                FileFailureLine(source_, LoadText(IDS_CONSOLE_NOT_PROGRAM_FILE)));
            break;
        case ConversionOutcome::kSaveFailed:
            Say(stderr, messages_, FileFailureLine(target_, lastResult_));
            break;
        case ConversionOutcome::kNoDocument:
            ReportError(hr::kFail, LoadText(IDS_CONSOLE_NO_DOCUMENT));
            break;
        default:
            break;
    }
}

std::optional<engine::ConversionOutcome> RunConsoleConversion(ConsoleHost& host,
                                                              const engine::DocumentSaver& save) {
    try {
        const auto outcome = engine::RunConversion(host, &xml::CreatePlatformDocument, save);
        host.SayFailure(outcome);
        return outcome;
    } catch (...) {
        const ErrorReport error = DescribeCurrentException();
        host.ReportError(error.code, error.description);
    }
    return std::nullopt;
}

}  // namespace ostrel::console
