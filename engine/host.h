// What the conversion needs from its front end (the dialog, the console converter, a test).
#pragma once

#include <string>

namespace ostrel::engine {

// Kinds of system beep and message-box flags, with the platform's values.
enum SoundType : unsigned {
    kOkOnly = 0x00,           // MB_OK
    kIconHand = 0x10,         // MB_ICONHAND: failure
    kIconExclamation = 0x30,  // MB_ICONEXCLAMATION: nothing to convert
    kIconAsterisk = 0x40,     // MB_ICONASTERISK: success
};

// The Results log: where the walk and the run report, one line a call.
class ResultsLog {
  public:
    // Appends the text and a line end ("\r\n") to the log. The text may itself hold line ends.
    virtual void AppendResult(const std::wstring& text) = 0;

  protected:
    ~ResultsLog() = default;
};

// The front end of one conversion run.
class ConversionHost : public ResultsLog {
  public:
    // The source file name exactly as the user gave it (no trimming, no expansion).
    virtual std::wstring SourceText() = 0;
    // The target file name exactly as the user gave it.
    virtual std::wstring TargetText() = 0;
    // Shows a modal message box and returns when the user has closed it.
    virtual void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                                unsigned flags) = 0;
    // Sounds the system beep of that type (kIconHand, kIconExclamation, kIconAsterisk).
    virtual void Beep(unsigned type) = 0;

  protected:
    ~ConversionHost() = default;
};

}  // namespace ostrel::engine
