// The console converter's side of a conversion: the two names, the Results log on standard output
// and the message box on standard error, written as they come or kept for one piece later.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "base/result.h"
#include "engine/conversion.h"
#include "engine/host.h"

namespace ostrel::console {

// The exit statuses of ostrel-convert.
enum ExitStatus { kCompleted = 0, kFailed = 1, kUsage = 2, kNothingToConvert = 3, kLogLost = 4 };

// Writes wide text to a standard stream: UTF-8 bytes, line ends ("\r\n" in the text) in the
// platform's form; on a Windows console, the text as it is.
void WriteText(std::FILE* stream, std::wstring_view text);

// The line that reports a failure that stopped a run, with its line end.
std::wstring ErrorLine(HResult code, const std::wstring& description);

class ConsoleHost final : public engine::ConversionHost {
  public:
    // Where the texts of the run go.
    enum class Output {
        kStreams,  // written to standard output and standard error as they come
        kKept,     // kept, to be written later in one piece (Log() and Messages())
    };

    ConsoleHost(std::wstring source, std::wstring target, Output output = Output::kStreams)
        : source_(std::move(source)), target_(std::move(target)), output_(output) {}

    std::wstring SourceText() override { return source_; }
    std::wstring TargetText() override { return target_; }
    // The box's text goes to standard error; there is nobody to press OK.
    void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                        unsigned flags) override;
    // A console converter makes no sound; the exit status tells the outcome.
    void Beep(unsigned) override {}
    // Each line of the log, as the dialog's Results box would show it, on standard output.
    void AppendResult(const std::wstring& text) override;
    // A failure that stopped the run before its log could say it, on standard error.
    void ReportError(HResult code, const std::wstring& description);

    // What was kept for standard output and for standard error (Output::kKept).
    const std::wstring& Log() const { return log_; }
    const std::wstring& Messages() const { return messages_; }

  private:
    void Say(std::FILE* stream, std::wstring& kept, const std::wstring& text);

    std::wstring source_;
    std::wstring target_;
    Output output_;
    std::wstring log_;
    std::wstring messages_;
};

// Runs the conversion of the host's two names over the platform's document, as every form of the
// console converter does. Gives its outcome, or none when an unexpected error stopped it; a
// failure that the log does not show is reported through the host.
std::optional<engine::ConversionOutcome> RunConsoleConversion(ConsoleHost& host);

}  // namespace ostrel::console
