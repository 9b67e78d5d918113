#include "res/texts.h"

#include <cstdio>
#include <map>

namespace ostrel {

namespace {

const std::map<unsigned, std::wstring_view>& Texts() {
#define OSTREL_TEXT_ENTRY(id, text) {id, L"" text},
    static const std::map<unsigned, std::wstring_view> texts{
        OSTREL_RESOURCE_STRINGS(OSTREL_TEXT_ENTRY) OSTREL_PROGRAM_STRINGS(OSTREL_TEXT_ENTRY)};
#undef OSTREL_TEXT_ENTRY
    return texts;
}

// The length of the printf-style placeholder at the start of `text`, or 0 when there is none.
std::size_t PlaceholderLength(std::wstring_view text) {
    for (std::wstring_view placeholder : {L"%s", L"%i", L"%08x"}) {
        if (text.substr(0, placeholder.size()) == placeholder) return placeholder.size();
    }
    return 0;
}

}  // namespace

std::wstring LoadText(unsigned id) {
    const auto found = Texts().find(id);
    return found == Texts().end() ? std::wstring() : std::wstring(found->second);
}

std::wstring FormatText(unsigned id, std::initializer_list<std::wstring_view> arguments) {
    const std::wstring format = LoadText(id);
    std::wstring result;
    auto argument = arguments.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const std::size_t length = argument == arguments.end()
                                       ? 0
                                       : PlaceholderLength(std::wstring_view(format).substr(i));
        if (length == 0) {
            result += format[i];
            continue;
        }
        result += *argument++;
        i += length - 1;
    }
    return result;
}

std::wstring HexCode(HResult code) {
    wchar_t digits[9];
    std::swprintf(digits, 9, L"%08x", static_cast<unsigned>(code));
    return digits;
}

}  // namespace ostrel
