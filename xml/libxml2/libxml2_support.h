// What the reading and the writing halves of the libxml2 backend share: ownership of libxml2's
// objects, its messages as one line, and keeping its diagnostics from being printed.
#pragma once

#include <libxml/xmlerror.h>

#include <memory>
#include <string>

namespace ostrel::xml::libxml2 {

// A libxml2 object freed by its own function: Owned<xmlDoc, xmlFreeDoc>.
template <auto Free>
struct FreedBy {
    template <typename T>
    void operator()(T* object) const noexcept {
        Free(object);
    }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, FreedBy<Free>>;

// A libxml2 message as one line: messages end with a line feed, some carry trailing blanks, and
// some go on with a copy of the input on the next line, which is dropped.
std::string OneLine(const char* message);

// Routes libxml2's diagnostics of this thread to `handler` with `context` (nowhere when the
// handler is null) while it lives, so that nothing is printed.
class DiagnosticsRouted {
  public:
    explicit DiagnosticsRouted(xmlStructuredErrorFunc handler = nullptr,
                               void* context = nullptr) noexcept;
    ~DiagnosticsRouted();
    DiagnosticsRouted(const DiagnosticsRouted&) = delete;
    DiagnosticsRouted& operator=(const DiagnosticsRouted&) = delete;

  private:
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
};

}  // namespace ostrel::xml::libxml2
