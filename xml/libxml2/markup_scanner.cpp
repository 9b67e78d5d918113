#include "xml/libxml2/markup_scanner.h"

namespace ostrel::xml::libxml2 {

namespace {

constexpr std::string_view kCDataKeyword = "CDATA[";

bool IsSpace(char32_t unit) { return unit == ' ' || unit == '\t' || unit == '\n' || unit == '\r'; }

// A character of a name, as far as the scanner must tell: anything that is not markup.
bool IsNameUnit(char32_t unit) {
    return !IsSpace(unit) && unit != '=' && unit != '/' && unit != '>' && unit != '"' &&
           unit != '\'';
}

}  // namespace

bool MarkupScanner::Feed(std::string_view bytes) {
    if (!refusal_.empty()) return false;
    units_.Feed(bytes, [this](const UnitBlock& block) { Scan(block); });
    return refusal_.empty();
}

// The units that can change the state at hand, once the line ends that are recorded are known;
// none when any unit can. The scan skips ahead to the first of them: the next '<' in text, ']' in
// a section (unit by unit once one is seen, for "]]>"), '>' in an end tag, a quote, '=' or '>' in
// a start tag other than the root's, the closing quote of a value outside the root's tag.
std::u32string_view MarkupScanner::UnitsSkippedTo() const {
    static constexpr std::u32string_view kLess = U"<", kBracket = U"]", kGreater = U">";
    static constexpr std::u32string_view kStartTagMarkup = U"\"'=>";
    if (firstLineEnd_ == LineEnd::kNone) return {};
    switch (state_) {
        case State::kText:
            return kLess;
        case State::kCData:
            if (section_.lineEnd != LineEnd::kNone && closers_ == 0) return kBracket;
            return {};
        case State::kEndTag:
            return kGreater;
        case State::kStartTag:
            if (inRoot_) return {};
            return kStartTagMarkup;
        case State::kStartTagQuoted:
            if (inRoot_) return {};
            return {&quote_, 1};
        default:
            return {};
    }
}

void MarkupScanner::Scan(const UnitBlock& block) {
    for (std::size_t i = 0; i < block.size();) {
        // Skipped units would change nothing the lexer reads: they are no closers, and the units
        // before a unit are read only for a line end already known, or two states later.
        if (const std::u32string_view wanted = UnitsSkippedTo(); !wanted.empty()) {
            i = block.SkipTo(i, wanted);
            if (i == block.size()) break;
        }
        LexUnit(block.at(i), block.OffsetOf(i));
        ++i;
        if (!refusal_.empty()) {
            refusal_ += " (line " + std::to_string(units_.LineOf(block, i)) + ")";
            return;
        }
    }
}

// True when `unit` ends a construct that ends with `needed` closers and '>' ("-->", "]]>",
// "?>"), counting only the closers inside the construct: "<!-->" is no whole comment.
bool MarkupScanner::Closes(char32_t unit, char32_t closer, int needed) {
    if (unit == closer) {
        ++closers_;
        return false;
    }
    const bool closes = unit == '>' && closers_ >= needed;
    closers_ = 0;
    return closes;
}

void MarkupScanner::LexUnit(char32_t unit, std::uint64_t offset) {
    const LineEnd ended = unit == '\n'        ? (previous_ == '\r' ? LineEnd::kCrLf : LineEnd::kLf)
                          : previous_ == '\r' ? LineEnd::kCr
                                              : LineEnd::kNone;
    if (firstLineEnd_ == LineEnd::kNone) firstLineEnd_ = ended;
    const auto width = static_cast<std::uint64_t>(units_.unitWidth());
    switch (state_) {
        case State::kText:
            if (unit == '<') state_ = State::kLess;
            break;
        case State::kLess:
            closers_ = 0;
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
                spanBegin_ = offset;
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
            closers_ = 0;
            break;
        case State::kComment:
            if (Closes(unit, '-', 2)) state_ = State::kText;
            break;
        case State::kCDataOpen:
            if (unit != static_cast<unsigned char>(kCDataKeyword[keyword_])) {
                state_ = State::kDeclaration;
            } else if (++keyword_ == kCDataKeyword.size()) {
                state_ = State::kCData;
                section_ = {{offset + width, 0}, LineEnd::kNone};
                closers_ = 0;
            }
            break;
        case State::kCData:
            if (section_.lineEnd == LineEnd::kNone) section_.lineEnd = ended;
            if (Closes(unit, ']', 2)) {
                section_.content.end = offset - 2 * width;
                sections_.push_back(section_);
                state_ = State::kText;
            }
            break;
        case State::kInstruction:
            if (Closes(unit, '?', 1)) state_ = State::kText;
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
                closers_ = 0;
            } else if (unit == '-' && previous_ == '-' && previous2_ == '!') {
                state_ = State::kDeclarationComment;
                closers_ = 0;
            }
            break;
        case State::kDeclarationQuoted:
            if (unit == quote_) state_ = State::kDeclaration;
            break;
        case State::kDeclarationComment:
            if (Closes(unit, '-', 2)) state_ = State::kDeclaration;
            break;
        default:  // kDeclarationInstruction
            if (Closes(unit, '?', 1)) state_ = State::kDeclaration;
            break;
    }
}

// The attribute bound: one '=' outside quotes is one attribute.
void MarkupScanner::CountAttribute() {
    if (++attributes_ > kMaxAttributes) {
        refusal_ = "An element has more than " + std::to_string(kMaxAttributes) + " attributes";
    }
}

// A unit of a start tag: counts the attributes and, in the root's tag, records the spans of its
// name and of the attributes' names and values.
void MarkupScanner::StartTagUnit(char32_t unit, std::uint64_t offset) {
    const auto width = static_cast<std::uint64_t>(units_.unitWidth());
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
            rootName_ = {spanBegin_, offset};
            rootInsertion_ = offset;
        }
        elementName_ = false;
    }
    if (unit == '"' || unit == '\'') {
        quote_ = unit;
        state_ = State::kStartTagQuoted;
        spanBegin_ = offset + width;
    } else if (unit == '=') {
        CountAttribute();
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
