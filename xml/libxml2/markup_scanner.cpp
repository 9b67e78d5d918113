#include "xml/libxml2/markup_scanner.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ostrel::xml::libxml2 {

namespace {

constexpr std::string_view kCDataKeyword = "CDATA[";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsSpace(char32_t unit) { return unit == ' ' || unit == '\t' || unit == '\n' || unit == '\r'; }

// A character of a name, as far as the scanner must tell: anything that is not markup.
bool IsNameUnit(char32_t unit) {
    return !IsSpace(unit) && unit != '=' && unit != '/' && unit != '>' && unit != '"' &&
           unit != '\'';
}

// The encoding that an 8-bit file's declaration names, upper-cased; empty when it names none.
std::string DeclaredEncoding(std::string_view head) {
    const std::string_view declaration = head.substr(0, head.find("?>"));
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

// Encodings whose bytes below 0x80 may stand for other characters than ASCII's.
bool HidesAscii(const std::string& encoding) {
    return encoding.find("2022") != std::string::npos || encoding.rfind("UTF-7", 0) == 0 ||
           encoding.rfind("UTF7", 0) == 0 || encoding.rfind("HZ", 0) == 0;
}

}  // namespace

bool MarkupScanner::Feed(std::string_view bytes) {
    if (!refusal_.empty()) return false;
    if (!formKnown_) {
        head_.append(bytes);
        if (head_.size() < 4 && !bytes.empty()) return true;
        DetectForm(head_);
        formKnown_ = true;
        const std::string head = std::move(head_);
        head_ = std::string();
        return Feed(head);
    }
    if (!usable_) return true;
    if (width_ == 1) {
        ScanUnits<1, false>(bytes);
    } else if (width_ == 2) {
        bigEndian_ ? ScanUnits<2, true>(bytes) : ScanUnits<2, false>(bytes);
    } else {
        bigEndian_ ? ScanUnits<4, true>(bytes) : ScanUnits<4, false>(bytes);
    }
    return refusal_.empty();
}

// Tells the code-unit form by the first bytes, as XML's own detection does, and for 8-bit forms
// whether the declared encoding keeps ASCII as ASCII.
void MarkupScanner::DetectForm(std::string_view head) {
    usable_ = false;
    if (head.size() < 4) return;
    const auto byte = [&](int i) { return std::uint32_t{static_cast<unsigned char>(head[i])}; };
    const std::uint32_t first = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    usable_ = true;
    if (first == 0x0000FEFF || first == 0x0000003C) {
        width_ = 4, bigEndian_ = true;
    } else if (first == 0xFFFE0000 || first == 0x3C000000) {
        width_ = 4;
    } else if ((first >> 16) == 0xFEFF || first == 0x003C003F) {
        width_ = 2, bigEndian_ = true;
    } else if ((first >> 16) == 0xFFFE || first == 0x3C003F00) {
        width_ = 2;
    } else if (first == 0x4C6FA794) {
        usable_ = false;  // EBCDIC
    } else {
        const std::size_t start = head.substr(0, 3) == kUtf8Mark ? 3 : 0;
        const bool declared = head.substr(start, 5) == "<?xml";
        usable_ = !declared || !HidesAscii(DeclaredEncoding(head.substr(0, 1024)));
    }
}

// Takes a block of the file; a code unit split between two blocks waits for its other bytes.
template <int kWidth, bool kBigEndian>
void MarkupScanner::ScanUnits(std::string_view bytes) {
    if (!partial_.empty()) {
        const std::size_t missing = kWidth - partial_.size();
        partial_.append(bytes.substr(0, missing));
        bytes.remove_prefix(std::min(missing, bytes.size()));
        if (partial_.size() < static_cast<std::size_t>(kWidth)) return;
        const std::string unit = std::move(partial_);
        partial_ = std::string();
        ScanWholeUnits<kWidth, kBigEndian>(unit);
    }
    const std::size_t whole = bytes.size() - bytes.size() % kWidth;
    ScanWholeUnits<kWidth, kBigEndian>(bytes.substr(0, whole));
    partial_ = std::string(bytes.substr(whole));
}

// The code units of a block, one by one, except where nothing but the next '<' (in text) or ']'
// (in a CDATA section) can matter: there the scan skips ahead to it.
template <int kWidth, bool kBigEndian>
void MarkupScanner::ScanWholeUnits(std::string_view block) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    const std::size_t count = block.size() / kWidth;
    const auto unitAt = [bytes](std::size_t i) {
        char32_t unit = 0;
        for (int k = 0; k < kWidth; ++k) {
            unit = unit << 8 | bytes[i * kWidth + (kBigEndian ? k : kWidth - 1 - k)];
        }
        return unit;
    };
    const auto find = [&](std::size_t from, char32_t wanted) {
        if constexpr (kWidth == 1) {
            const void* found = std::memchr(bytes + from, static_cast<int>(wanted), count - from);
            return found == nullptr
                       ? count
                       : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
        } else {
            while (from < count && unitAt(from) != wanted) ++from;
            return from;
        }
    };
    const auto linesBefore = [&](std::size_t end) {
        if constexpr (kWidth == 1) {
            return static_cast<std::size_t>(std::count(bytes, bytes + end, '\n'));
        } else {
            std::size_t lines = 0;
            for (std::size_t k = 0; k < end; ++k) lines += unitAt(k) == '\n';
            return lines;
        }
    };
    for (std::size_t i = 0; i < count;) {
        // Where only one unit can change the state, the scan jumps to it: the next '<' in text,
        // ']' in a section (unit by unit once one is seen, for "]]>"), '>' in an end tag, the
        // closing quote of a value outside the root's tag. Line ends must be known first.
        const bool lineEndsKnown = firstLineEnd_ != LineEnd::kNone &&
                                   (state_ != State::kCData || sectionLineEnd_ != LineEnd::kNone);
        char32_t wanted = 0;
        if (lineEndsKnown) {
            if (state_ == State::kText) wanted = '<';
            if (state_ == State::kCData && previous_ != ']') wanted = ']';
            if (state_ == State::kEndTag) wanted = '>';
            if (state_ == State::kStartTagQuoted && !inRoot_) wanted = quote_;
        }
        if (wanted != 0) {
            const std::size_t next = find(i, wanted);
            if (next > i) {
                previous2_ = next - i >= 2 ? unitAt(next - 2) : previous_;
                previous_ = unitAt(next - 1);
                i = next;
                if (i == count) break;
            }
        }
        Unit(unitAt(i), offset_ + static_cast<std::uint64_t>(i) * kWidth);
        ++i;
        if (!refusal_.empty()) {
            refusal_ += " (line " + std::to_string(lines_ + linesBefore(i)) + ")";
            return;
        }
    }
    lines_ += linesBefore(count);
    offset_ += block.size();
}

void MarkupScanner::Unit(char32_t unit, std::uint64_t offset) {
    const LineEnd ended = unit == '\n'        ? (previous_ == '\r' ? LineEnd::kCrLf : LineEnd::kLf)
                          : previous_ == '\r' ? LineEnd::kCr
                                              : LineEnd::kNone;
    if (firstLineEnd_ == LineEnd::kNone) firstLineEnd_ = ended;
    const auto width = static_cast<std::uint64_t>(width_);
    switch (state_) {
        case State::kText:
            if (unit == '<') state_ = State::kLess;
            break;
        case State::kLess:
            if (unit == '!') {
                state_ = State::kBang;
            } else if (unit == '?') {
                state_ = State::kInstruction;
            } else if (unit == '/') {
                state_ = State::kEndTag;
            } else {
                state_ = State::kStartTag;
                attributes_ = 0;
                inRoot_ = !rootDone_;
                inName_ = elementName_ = true;
            }
            break;
        case State::kBang:
            state_ = unit == '-'   ? State::kBangDash
                     : unit == '[' ? State::kCDataOpen
                                   : State::kDeclaration;
            keyword_ = 0;
            break;
        case State::kBangDash:
            state_ = unit == '-' ? State::kComment : State::kDeclaration;
            break;
        case State::kComment:
            if (unit == '>' && previous_ == '-' && previous2_ == '-') state_ = State::kText;
            break;
        case State::kCDataOpen:
            if (unit != static_cast<unsigned char>(kCDataKeyword[keyword_])) {
                state_ = State::kDeclaration;
            } else if (++keyword_ == kCDataKeyword.size()) {
                state_ = State::kCData;
                sectionBegin_ = offset + width;
                sectionLineEnd_ = LineEnd::kNone;
            }
            break;
        case State::kCData:
            if (sectionLineEnd_ == LineEnd::kNone) sectionLineEnd_ = ended;
            if (unit == '>' && previous_ == ']' && previous2_ == ']') {
                sections_.push_back({sectionBegin_, offset - 2 * width});
                sectionLineEnds_.push_back(sectionLineEnd_);
                state_ = State::kText;
            }
            break;
        case State::kInstruction:
            if (unit == '>' && previous_ == '?') state_ = State::kText;
            break;
        case State::kEndTag:
            if (unit == '>') state_ = State::kText;
            break;
        case State::kStartTag:
        case State::kStartTagQuoted:
            StartTagUnit(unit, offset);
            break;
        default:
            DeclarationUnit(unit);
            break;
    }
    previous2_ = previous_;
    previous_ = unit;
}

// A unit of a document type declaration, whose internal subset may hold quoted values,
// comments and processing instructions, any of which may hold '>'.
void MarkupScanner::DeclarationUnit(char32_t unit) {
    switch (state_) {
        case State::kDeclaration:
            if (unit == '"' || unit == '\'') {
                quote_ = unit;
                state_ = State::kDeclarationQuoted;
            } else if (unit == '[') {
                ++depth_;
            } else if (unit == ']') {
                --depth_;
            } else if (unit == '>' && depth_ <= 0) {
                depth_ = 0;
                state_ = State::kText;
            } else if (unit == '?' && previous_ == '<') {
                state_ = State::kDeclarationInstruction;
            } else if (unit == '-' && previous_ == '-' && previous2_ == '!') {
                state_ = State::kDeclarationComment;
            }
            break;
        case State::kDeclarationQuoted:
            if (unit == quote_) state_ = State::kDeclaration;
            break;
        case State::kDeclarationComment:
            if (unit == '>' && previous_ == '-' && previous2_ == '-') state_ = State::kDeclaration;
            break;
        default:  // kDeclarationInstruction
            if (unit == '>' && previous_ == '?') state_ = State::kDeclaration;
            break;
    }
}

// A unit of a start tag: counts the attributes (one '=' each, outside quotes) and, in the root's
// tag, records the spans of the attributes' names and values.
void MarkupScanner::StartTagUnit(char32_t unit, std::uint64_t offset) {
    const auto width = static_cast<std::uint64_t>(width_);
    if (state_ == State::kStartTagQuoted) {
        if (unit != quote_) return;
        state_ = State::kStartTag;
        if (inRoot_) {
            rootAttributes_.push_back({pendingName_, {spanBegin_, offset}});
            rootInsertion_ = offset + width;
        }
        return;
    }
    if (inName_ && !IsNameUnit(unit)) {
        inName_ = false;
        if (!elementName_) {
            pendingName_ = {spanBegin_, offset};
        } else if (inRoot_) {
            rootInsertion_ = offset;
        }
        elementName_ = false;
    }
    if (unit == '"' || unit == '\'') {
        quote_ = unit;
        state_ = State::kStartTagQuoted;
        spanBegin_ = offset + width;
    } else if (unit == '=') {
        if (++attributes_ > kMaxAttributes) {
            refusal_ = "An element has more than " + std::to_string(kMaxAttributes) + " attributes";
        }
    } else if (unit == '>') {
        state_ = State::kText;
        if (inRoot_) rootDone_ = true;
        inRoot_ = false;
    } else if (!inName_ && IsNameUnit(unit)) {
        inName_ = true;
        spanBegin_ = offset;
    }
}

}  // namespace ostrel::xml::libxml2
