// The first of the markup scanner's two parts: reads the raw bytes of an XML file as they come, in
// blocks of any size, and hands them on as whole code units (1, 2 or 4 bytes, either byte order),
// with their byte offsets in the file and their line numbers.
//
// The form is told by the first four bytes, as XML's own detection does. An 8-bit file is read
// only when its declared encoding is one where a byte below 0x80 always stands for that ASCII
// character and never appears inside a multi-byte character (UTF-8, US-ASCII, ISO-8859-*,
// windows-125x, KOI8, EUC-*...): the scanner knows only ASCII delimiters. Any other encoding
// (Shift_JIS, Big5, GBK, JOHAB, ISO-2022, UTF-7, EBCDIC...) leaves the reader unusable.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ostrel::xml::libxml2 {

// A run of whole code units of the file.
class UnitBlock {
  public:
    UnitBlock(std::string_view bytes, int width, bool bigEndian, std::uint64_t offset)
        : bytes_(reinterpret_cast<const unsigned char*>(bytes.data())),
          count_(bytes.size() / static_cast<std::size_t>(width)),
          width_(width),
          bigEndian_(bigEndian),
          offset_(offset) {}

    std::size_t size() const { return count_; }
    // The code unit at index i.
    char32_t at(std::size_t i) const {
        if (width_ == 1) return bytes_[i];
        const unsigned char* b = bytes_ + i * static_cast<std::size_t>(width_);
        if (width_ == 2)
            return bigEndian_ ? char32_t{b[0]} << 8 | b[1] : char32_t{b[1]} << 8 | b[0];
        return bigEndian_
                   ? char32_t{b[0]} << 24 | char32_t{b[1]} << 16 | char32_t{b[2]} << 8 | b[3]
                   : char32_t{b[3]} << 24 | char32_t{b[2]} << 16 | char32_t{b[1]} << 8 | b[0];
    }
    // The byte offset in the file of the unit at index i.
    std::uint64_t OffsetOf(std::size_t i) const {
        return offset_ + static_cast<std::uint64_t>(i) * static_cast<std::uint64_t>(width_);
    }
    // The index of the first unit from `from` on that is one of `wanted`; size() when there is
    // none. The scanner's fast path: in most of a file only one or a few units can matter.
    std::size_t SkipTo(std::size_t from, std::u32string_view wanted) const {
        if (wanted.size() == 1) return FindUnit(from, count_, wanted[0]);
        while (from < count_ && wanted.find(at(from)) == std::u32string_view::npos) ++from;
        return from;
    }
    // The line feeds among the units before index `end`.
    std::uint64_t LineFeedsBefore(std::size_t end) const;

  private:
    // The index of the first unit `wanted` in [from, end), or `end`.
    std::size_t FindUnit(std::size_t from, std::size_t end, char32_t wanted) const;

    const unsigned char* bytes_;
    std::size_t count_;
    int width_;
    bool bigEndian_;
    std::uint64_t offset_;
};

class CodeUnitReader {
  public:
    // Takes the next bytes of the file (the end of the file is an empty call) and hands each run
    // of whole code units to `scan(const UnitBlock&)`; a unit split between two calls waits for
    // its other bytes. Nothing is handed on while the form is unknown or unusable.
    template <typename Scan>
    void Feed(std::string_view bytes, Scan&& scan);

    // False until the form is known, and for an encoding the scanner cannot read.
    bool usable() const { return usable_; }
    // Why the file cannot be read as markup; empty while it can.
    const std::string& unusableReason() const { return unusableReason_; }
    int unitWidth() const { return width_; }
    bool bigEndian() const { return bigEndian_; }
    // The line of the unit at index i of the block at hand (lines counted from 1).
    std::uint64_t LineOf(const UnitBlock& block, std::size_t i) const {
        return lines_ + block.LineFeedsBefore(i);
    }

  private:
    bool DetectForm(std::string_view head, bool atEnd);
    template <typename Scan>
    void Pass(std::string_view bytes, Scan& scan);

    bool formKnown_ = false;
    bool usable_ = false;
    std::string unusableReason_;
    int width_ = 1;
    bool bigEndian_ = false;
    std::string head_;          // the first bytes, until the form is known
    std::string partial_;       // the bytes of a code unit split between two reads
    std::uint64_t offset_ = 0;  // of the next whole code unit
    std::uint64_t lines_ = 1;   // line feeds handed on so far, plus one
};

template <typename Scan>
void CodeUnitReader::Feed(std::string_view bytes, Scan&& scan) {
    if (!formKnown_) {
        head_.append(bytes);
        if (!DetectForm(head_, bytes.empty())) return;
        formKnown_ = true;
        const std::string head = std::move(head_);
        head_ = std::string();
        if (usable_) Pass(head, scan);
        return;
    }
    if (usable_) Pass(bytes, scan);
}

template <typename Scan>
void CodeUnitReader::Pass(std::string_view bytes, Scan& scan) {
    const auto width = static_cast<std::size_t>(width_);
    if (!partial_.empty()) {
        const std::size_t missing = width - partial_.size();
        partial_.append(bytes.substr(0, missing));
        bytes.remove_prefix(std::min(missing, bytes.size()));
        if (partial_.size() < width) return;
        const std::string unit = std::move(partial_);
        partial_ = std::string();
        Pass(unit, scan);
    }
    const std::size_t whole = bytes.size() - bytes.size() % width;
    const UnitBlock block(bytes.substr(0, whole), width_, bigEndian_, offset_);
    scan(block);
    lines_ += block.LineFeedsBefore(block.size());
    offset_ += whole;
    partial_ = std::string(bytes.substr(whole));
}

}  // namespace ostrel::xml::libxml2
