// A lexical pass over the raw bytes of an XML file as they are read, before the parser sees them.
// It has two jobs:
//   - the attribute bound: it refuses an element with more than kMaxAttributes attributes
//     (libxml2's start-tag parsing and tree building take time that grows with the square of
//     their number);
//   - the spans: it records where the root's start tag and every CDATA section stand in the file,
//     so that a save can copy the file and replace only those.
// The code units come from a CodeUnitReader (code_units.h), which also says which files the
// scanner can read at all. The lexer knows only ASCII delimiters; it is exact for well-formed
// documents in those files. Its findings are a second reading beside the parser's: whoever uses
// them checks them against the parsed document first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/libxml2/code_units.h"

namespace ostrel::xml::libxml2 {

// A run of bytes of the file: [begin, end).
struct ByteSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// How lines end in a run of the file, as its first line end shows.
enum class LineEnd : std::uint8_t { kNone, kLf, kCrLf, kCr };

// One attribute of the root's start tag.
struct RawAttribute {
    ByteSpan name;
    ByteSpan value;  // between the quotes
};

// One CDATA section: its content (between "<![CDATA[" and "]]>") and the first line end in it.
struct RawSection {
    ByteSpan content;
    LineEnd lineEnd = LineEnd::kNone;
};

class MarkupScanner {
  public:
    // At most this many attributes on one element.
    static constexpr std::size_t kMaxAttributes = 10000;

    // Takes the next bytes of the file; the end of the file is an empty call. False once the
    // file is refused (see refusal()).
    bool Feed(std::string_view bytes);

    // True when the scanner could read the file's markup (see code_units.h); known after the
    // first bytes. Otherwise unusableReason() says why.
    bool usable() const { return units_.usable(); }
    const std::string& unusableReason() const { return units_.unusableReason(); }
    // Why the file is refused, or empty: an element with too many attributes.
    const std::string& refusal() const { return refusal_; }

    // Code-unit width in bytes (1, 2 or 4) and byte order of the file.
    int unitWidth() const { return units_.unitWidth(); }
    bool bigEndian() const { return units_.bigEndian(); }
    // The file's first line end.
    LineEnd firstLineEnd() const { return firstLineEnd_; }

    // The CDATA sections, in file order.
    const std::vector<RawSection>& sections() const { return sections_; }
    // The root's start tag: its name, its attributes in order, and where a new attribute would go
    // (just after the last attribute, or after the element's name).
    bool rootSeen() const { return rootDone_; }
    ByteSpan rootName() const { return rootName_; }
    const std::vector<RawAttribute>& rootAttributes() const { return rootAttributes_; }
    std::uint64_t rootInsertion() const { return rootInsertion_; }

  private:
    enum class State {
        kText,
        kLess,            // after '<'
        kBang,            // after "<!"
        kBangDash,        // after "<!-"
        kComment,         // inside "<!-- -->"
        kCDataOpen,       // inside "<![CDATA["
        kCData,           // inside a CDATA section
        kInstruction,     // inside "<? ?>"
        kEndTag,          // inside "</ >"
        kStartTag,        // inside a start tag, outside quotes
        kStartTagQuoted,  // inside an attribute value
        kDeclaration,     // inside "<!DOCTYPE ...>" and the like, outside quotes
        kDeclarationQuoted,
        kDeclarationComment,
        kDeclarationInstruction,
    };

    void Scan(const UnitBlock& block);
    std::u32string_view UnitsSkippedTo() const;
    void LexUnit(char32_t unit, std::uint64_t offset);
    void DeclarationUnit(char32_t unit);
    void StartTagUnit(char32_t unit, std::uint64_t offset);
    bool Closes(char32_t unit, char32_t closer, int needed);
    void CountAttribute();

    CodeUnitReader units_;
    std::string refusal_;

    State state_ = State::kText;
    char32_t quote_ = 0;
    // The two units lexed before, for "<!--" in a declaration and CR LF (a skip leaves them).
    char32_t previous_ = 0;
    char32_t previous2_ = 0;
    int closers_ = 0;             // '-', ']' or '?' in a row inside the construct at hand
    std::size_t keyword_ = 0;     // units matched of "CDATA["
    int depth_ = 0;               // brackets of a declaration's internal subset
    std::size_t attributes_ = 0;  // of the start tag at hand
    LineEnd firstLineEnd_ = LineEnd::kNone;

    std::vector<RawSection> sections_;
    RawSection section_;  // the one at hand

    bool inRoot_ = false;
    bool rootDone_ = false;
    bool inName_ = false;
    bool elementName_ = false;     // the name at hand is the element's, not an attribute's
    std::uint64_t spanBegin_ = 0;  // of the name or value at hand
    ByteSpan pendingName_;
    ByteSpan rootName_;
    std::vector<RawAttribute> rootAttributes_;
    std::uint64_t rootInsertion_ = 0;
};

}  // namespace ostrel::xml::libxml2
