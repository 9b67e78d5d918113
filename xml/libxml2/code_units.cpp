#include "xml/libxml2/code_units.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/utf8.h"

namespace ostrel::xml::libxml2 {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// The declaration is looked for within this many code units.
constexpr std::size_t kDeclarationUnits = 1024;

// The ASCII characters of the head's code units after a byte order mark, '?' for every other unit.
std::string AsciiOf(std::string_view head, int width, bool bigEndian) {
    const UnitBlock block(head, width, bigEndian, 0);
    std::string ascii;
    for (std::size_t i = block.size() > 0 && block.at(0) == 0xFEFF ? 1 : 0; i < block.size(); ++i) {
        const char32_t unit = block.at(i);
        ascii += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return ascii;
}

// The encoding the declaration names, upper-cased; empty when it names none.
std::string DeclaredEncoding(std::string_view ascii) {
    if (!StartsWith(ascii, "<?xml")) return {};
    const std::string_view declaration = ascii.substr(0, ascii.find("?>"));
    const std::size_t name = declaration.find("encoding");
    if (name == std::string_view::npos) return {};
    const std::size_t open = declaration.find_first_of("\"'", name);
    if (open == std::string_view::npos) return {};
    const std::size_t close = declaration.find(declaration[open], open + 1);
    if (close == std::string_view::npos) return {};
    std::string encoding(declaration.substr(open + 1, close - open - 1));
    for (char& c : encoding) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return encoding;
}

bool StartsWithAny(const std::string& text, std::initializer_list<std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return StartsWith(text, prefix); });
}

// The 8-bit encodings in which a byte below 0x80 is always that ASCII character: single-byte
// sets, and the multi-byte ones whose every byte of a multi-byte character is 0x80 or more.
bool KeepsAscii(const std::string& encoding) {
    static const std::string_view kExact[] = {"",      "UTF-8",          "UTF8",      "US-ASCII",
                                              "ASCII", "ANSI_X3.4-1968", "ISO646-US", "GB2312"};
    if (std::find(std::begin(kExact), std::end(kExact), encoding) != std::end(kExact)) return true;
    return StartsWithAny(encoding, {"ISO-8859-", "ISO8859-", "ISO_8859-", "LATIN", "WINDOWS-125",
                                    "CP125", "KOI8", "EUC-", "EUCJP", "EUCKR", "EUCCN", "EUCTW"});
}

// Whether the declared encoding fits a file of code units of that width.
bool FitsUnits(const std::string& encoding, int width) {
    if (encoding.empty()) return true;
    if (width == 2) return StartsWithAny(encoding, {"UTF-16", "UTF16", "UCS-2", "ISO-10646-UCS-2"});
    return StartsWithAny(encoding, {"UTF-32", "UTF32", "UCS-4", "UCS4", "ISO-10646-UCS-4"});
}

// Counts the units equal to `wanted` (its bytes in the file's order, read as the host reads
// them) in runs of at most 255 units into an 8-bit counter, a loop the compiler makes a vector
// one; std::count's wide counter costs several instructions a unit, on every unit of the file.
template <typename Unit>
std::uint64_t CountUnits(const unsigned char* bytes, std::size_t count, Unit wanted) {
    std::uint64_t total = 0;
    while (count > 0) {
        const std::size_t run = std::min<std::size_t>(count, 255);
        unsigned char found = 0;
        for (std::size_t i = 0; i < run; ++i) {
            Unit unit;
            std::memcpy(&unit, bytes + i * sizeof(Unit), sizeof(Unit));
            found += unit == wanted;
        }
        total += found;
        bytes += run * sizeof(Unit);
        count -= run;
    }
    return total;
}

template <typename Unit>
std::uint64_t CountLineFeeds(const unsigned char* bytes, std::size_t count, bool bigEndian) {
    unsigned char pattern[sizeof(Unit)] = {};
    pattern[bigEndian ? sizeof(Unit) - 1 : 0] = '\n';
    Unit wanted;
    std::memcpy(&wanted, pattern, sizeof(Unit));
    return CountUnits(bytes, count, wanted);
}

}  // namespace

std::uint64_t UnitBlock::LineFeedsBefore(std::size_t end) const {
    if (width_ == 1) return CountLineFeeds<std::uint8_t>(bytes_, end, false);
    if (width_ == 2) return CountLineFeeds<std::uint16_t>(bytes_, end, bigEndian_);
    return CountLineFeeds<std::uint32_t>(bytes_, end, bigEndian_);
}

// memchr finds the byte that a unit below 0x100 has at its low-order end; the unit holding it is
// then compared whole (the byte may stand at another place in another unit).
std::size_t UnitBlock::FindUnit(std::size_t from, std::size_t end, char32_t wanted) const {
    const auto width = static_cast<std::size_t>(width_);
    if (wanted > 0xFF) {
        while (from < end && at(from) != wanted) ++from;
        return from;
    }
    const unsigned char* next = bytes_ + from * width;
    const unsigned char* const stop = bytes_ + end * width;
    while (next < stop) {
        const auto* found = static_cast<const unsigned char*>(
            std::memchr(next, static_cast<int>(wanted), static_cast<std::size_t>(stop - next)));
        if (found == nullptr) break;
        const auto offset = static_cast<std::size_t>(found - bytes_);
        if (at(offset / width) == wanted) return offset / width;
        next = found + 1;
    }
    return end;
}

// Tells the code-unit form by the first bytes, and whether its declared encoding is one the
// scanner can read. False while the head is too short to tell.
bool CodeUnitReader::DetectForm(std::string_view head, bool atEnd) {
    usable_ = false;
    if (head.size() < 4) {
        unusableReason_ = "the file is too short";
        return atEnd;
    }
    const auto byte = [&](int i) { return std::uint32_t{static_cast<unsigned char>(head[i])}; };
    const std::uint32_t first = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    width_ = 1;
    bigEndian_ = false;
    if (first == 0x0000FEFF || first == 0x0000003C) {
        width_ = 4, bigEndian_ = true;
    } else if (first == 0xFFFE0000 || first == 0x3C000000) {
        width_ = 4;
    } else if ((first >> 16) == 0xFEFF || first == 0x003C003F) {
        width_ = 2, bigEndian_ = true;
    } else if ((first >> 16) == 0xFFFE || first == 0x3C003F00) {
        width_ = 2;
    } else if (head.substr(0, 4).find('\0') != std::string_view::npos || first == 0x4C6FA794) {
        unusableReason_ = "the file's code units are in an order the scanner does not read";
        return true;
    }
    const std::size_t limit = kDeclarationUnits * static_cast<std::size_t>(width_);
    if (StartsWith(head, kUtf8Mark)) head.remove_prefix(kUtf8Mark.size());
    const std::string ascii = AsciiOf(head.substr(0, limit), width_, bigEndian_);
    // A declaration is read whole before the form is decided.
    const bool declarationOpen =
        StartsWith("<?xml", ascii.substr(0, 5)) && ascii.find("?>") == std::string::npos;
    if (declarationOpen && !atEnd && head.size() < limit) return false;
    const std::string encoding = DeclaredEncoding(ascii);
    usable_ = width_ == 1 ? KeepsAscii(encoding) : FitsUnits(encoding, width_);
    if (!usable_) {
        unusableReason_ = "the encoding " + encoding + " may hold ASCII bytes inside characters";
    }
    return true;
}

}  // namespace ostrel::xml::libxml2
