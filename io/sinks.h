// The sinks the platforms' file writers pass a producer's content through. Not part of io's
// interface.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "io/safe_save.h"

namespace ostrel::io {

// Collects the content in memory, for a write that needs its size first.
class StringSink final : public ByteSink {
  public:
    HResult Write(std::string_view bytes) override {
        content_.append(bytes);
        return hr::kOk;
    }
    const std::string& Content() const { return content_; }

  private:
    std::string content_;
};

// Passes the pieces on to `write` through a buffer, so that many small pieces make few writes; a
// piece too large for the buffer goes straight through. A failed write is kept: every later call
// gives it, so that a producer that goes on regardless cannot make a file with a gap pass.
class BufferedSink final : public ByteSink {
  public:
    using Writer = std::function<HResult(std::string_view bytes)>;
    BufferedSink(std::size_t capacity, Writer write)
        : capacity_(capacity), write_(std::move(write)) {
        buffer_.reserve(capacity_);
    }

    HResult Write(std::string_view bytes) override {
        if (bytes.size() > capacity_ - buffer_.size()) {
            if (const HResult flushed = Flush(); hr::Failed(flushed)) return flushed;
            if (bytes.size() >= capacity_) return Pass(bytes);
        }
        if (hr::Failed(failure_)) return failure_;
        buffer_.append(bytes);
        return hr::kOk;
    }

    // Writes what the buffer holds; gives the first failure of any write.
    HResult Flush() {
        const HResult written = Pass(buffer_);
        buffer_.clear();
        return written;
    }

  private:
    HResult Pass(std::string_view bytes) {
        if (!hr::Failed(failure_)) failure_ = write_(bytes);
        return failure_;
    }

    std::size_t capacity_;
    Writer write_;
    std::string buffer_;
    HResult failure_ = hr::kOk;
};

}  // namespace ostrel::io
