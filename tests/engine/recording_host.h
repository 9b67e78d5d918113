// A conversion host that records what the run did, in order, and the Results log as the dialog
// would hold it.
#pragma once

#include <string>
#include <vector>

#include "engine/host.h"

namespace ostrel::test {

class RecordingHost final : public engine::ConversionHost {
  public:
    RecordingHost(std::wstring source, std::wstring target)
        : source(std::move(source)), target(std::move(target)) {}

    std::wstring SourceText() override { return source; }
    std::wstring TargetText() override { return target; }
    void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                        unsigned flags) override {
        events.push_back(L"box " + std::to_wstring(flags) + L" " + caption + L": " + text);
    }
    void Beep(unsigned type) override { events.push_back(L"beep " + std::to_wstring(type)); }
    void AppendResult(const std::wstring& text) override {
        events.push_back(L"log " + text);
        log += text + L"\r\n";
    }

    std::wstring source;
    std::wstring target;
    std::vector<std::wstring> events;  // "box FLAGS CAPTION: TEXT", "beep TYPE", "log TEXT"
    std::wstring log;                  // the Results box's whole text
};

}  // namespace ostrel::test
