#include <unistd.h>

#include <string>

#include "base/utf8.h"
#include "console/platform.h"

namespace ostrel::console {

std::wstring_view PlatformLineEnd() { return L"\n"; }

void WritePlatformText(std::FILE* stream, std::wstring_view text) {
    const std::string bytes = ToUtf8(text, Utf8Errors::kEscape);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void WithConversionServices(const std::function<void(HResult)>& work) { work(hr::kOk); }

}  // namespace ostrel::console
