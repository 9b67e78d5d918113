// The console converter's side of a conversion: the two names, the Results log on standard output
// and the failures on standard error, written as they come or kept for one piece later.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "base/result.h"
#include "engine/conversion.h"
#include "engine/host.h"

namespace ostrel::console {

// The exit statuses of ostrel-convert (and 128+N when ended by signal N).
enum ExitStatus {
    kCompleted = 0,
    kFailed = 1,
    kUsage = 2,
    kNothingToConvert = 3,
    kLogLost = 4,
    kWouldChange = 5,  // --check: a conversion would change some file
};

// Writes wide text to a standard stream: UTF-8 bytes, line ends ("\r\n" in the text) in the
// platform's form; on a Windows console, the text as it is.
void WriteText(std::FILE* stream, std::wstring_view text);

// The line that reports a failure that stopped a run, with its line end.
std::wstring ErrorLine(HResult code, const std::wstring& description);

// The line that says on standard error why a file failed, with its line end:
// "ostrel-convert: FILE: reason".
std::wstring FileFailureLine(const std::wstring& file, const std::wstring& reason);

class ConsoleHost final : public engine::ConversionHost {
  public:
    // Where the texts of the run go.
    enum class Output {
        kStreams,  // written to standard output and standard error as they come
        kKept,     // kept, to be written later in one piece (Log() and Messages())
    };
    // Whether the Results log is shown at all (the failures always are).
    enum class Results { kShown, kDropped };

    ConsoleHost(std::wstring source, std::wstring target, Output output = Output::kStreams,
                Results results = Results::kShown)
        : source_(std::move(source)),
          target_(std::move(target)),
          output_(output),
          results_(results) {}

    std::wstring SourceText() override { return source_; }
    std::wstring TargetText() override { return target_; }
    // There is nobody to press OK: the box's case is said by SayFailure, with the file's name.
    void ShowMessageBox(const std::wstring&, const std::wstring&, unsigned) override {}
    // A console converter makes no sound; the exit status tells the outcome.
    void Beep(unsigned) override {}
    // Each line of the log, as the dialog's Results box would show it, on standard output.
    void AppendResult(const std::wstring& text) override;
    // A failure that stopped the run before its log could say it, on standard error.
    void ReportError(HResult code, const std::wstring& description);
    // Says on standard error, once, why the run with that outcome failed; nothing for a run that
    // did not fail.
    void SayFailure(engine::ConversionOutcome outcome);

    // What was kept for standard output and for standard error (Output::kKept).
    const std::wstring& Log() const { return logText_; }
    const std::wstring& Messages() const { return messages_; }

  private:
    void Say(std::FILE* stream, std::wstring& kept, const std::wstring& text);

    std::wstring source_;
    std::wstring target_;
    Output output_;
    Results results_;
    std::wstring logText_;
    std::wstring messages_;
    std::wstring lastResult_;  // the last line of the log, which tells why a run failed
};

// Runs the conversion of the host's two names over the platform's document, as every form of the
// console converter does, handing the converted document to `save` (by default: saved as the
// target). Gives its outcome, or none when an unexpected error stopped it; every failure is said
// once on standard error through the host.
std::optional<engine::ConversionOutcome> RunConsoleConversion(
    ConsoleHost& host, const engine::DocumentSaver& save = {});

}  // namespace ostrel::console
