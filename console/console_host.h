// The console converter's side of a conversion: the two names from the command line, the
// Results log on standard output and the message box on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "engine/host.h"

namespace ostrel::console {

// Writes wide text to a standard stream: UTF-8 bytes, line ends ("\r\n" in the text) in the
// platform's form; on a Windows console, the text as it is.
void WriteText(std::FILE* stream, std::wstring_view text);

class ConsoleHost final : public engine::ConversionHost {
  public:
    ConsoleHost(std::wstring source, std::wstring target)
        : source_(std::move(source)), target_(std::move(target)) {}

    std::wstring SourceText() override { return source_; }
    std::wstring TargetText() override { return target_; }
    // The box's text goes to standard error; there is nobody to press OK.
    void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                        unsigned flags) override;
    // A console converter makes no sound; the exit status tells the outcome.
    void Beep(unsigned) override {}
    // Each line of the log, as the dialog's Results box would show it, on standard output.
    void AppendResult(const std::wstring& text) override;

  private:
    std::wstring source_;
    std::wstring target_;
};

}  // namespace ostrel::console
