// A lexical pass over the raw bytes of an XML file as they are read, before the parser sees them:
// it bounds the attributes of one element (libxml2's start-tag parsing and tree building take
// time that grows with the square of their number), and it records where the root's start tag and
// every CDATA section stand in the file, so that a save can copy the file and replace only those.
//
// It works on code units (1, 2 or 4 bytes, either byte order) and knows only markup delimiters,
// which are ASCII. It is exact for well-formed documents in every encoding where a code unit below
// 0x80 always stands for that ASCII character, and where the characters it tells apart never
// appear inside a multi-byte character; elsewhere its findings may be wrong, and whoever uses them
// checks them against the parsed document first. Encodings where ASCII bytes stand for other
// characters (EBCDIC, ISO-2022, UTF-7) turn it off.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

class MarkupScanner {
  public:
    // At most this many attributes on one element.
    static constexpr std::size_t kMaxAttributes = 10000;

    // Takes the next bytes of the file; the end of the file is an empty call. False once the
    // file is refused (see refusal()).
    bool Feed(std::string_view bytes);

    // True when the scanner could read the file's markup: a known code-unit form and no encoding
    // that it cannot read (see the header's comment). Known after the first bytes.
    bool usable() const { return usable_; }
    // Why the file is refused, or empty: an element with too many attributes.
    const std::string& refusal() const { return refusal_; }

    // Code-unit width in bytes (1, 2 or 4) and byte order of the file.
    int unitWidth() const { return width_; }
    bool bigEndian() const { return bigEndian_; }
    // The file's first line end.
    LineEnd firstLineEnd() const { return firstLineEnd_; }

    // The content of each CDATA section (between "<![CDATA[" and "]]>"), in file order, with the
    // first line end inside it.
    const std::vector<ByteSpan>& sections() const { return sections_; }
    const std::vector<LineEnd>& sectionLineEnds() const { return sectionLineEnds_; }
    // The root's start tag: its attributes in order, and where a new attribute would go (just after
    // the last attribute, or after the element's name).
    bool rootSeen() const { return rootDone_; }
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

    void DetectForm(std::string_view head);
    template <int kWidth, bool kBigEndian>
    void ScanUnits(std::string_view bytes);
    template <int kWidth, bool kBigEndian>
    void ScanWholeUnits(std::string_view bytes);
    void Unit(char32_t unit, std::uint64_t offset);
    void DeclarationUnit(char32_t unit);
    void StartTagUnit(char32_t unit, std::uint64_t offset);

    bool formKnown_ = false;
    bool usable_ = false;
    int width_ = 1;
    bool bigEndian_ = false;
    std::string head_;          // the first bytes, until the form is known
    std::string partial_;       // the bytes of a code unit split between two reads
    std::uint64_t offset_ = 0;  // of the next whole code unit
    std::uint64_t lines_ = 1;   // line feeds seen so far, plus one
    std::string refusal_;

    State state_ = State::kText;
    char32_t quote_ = 0;
    char32_t previous_ = 0;  // the two units before, for "-->", "]]>", "?>" and CR LF
    char32_t previous2_ = 0;
    std::size_t keyword_ = 0;     // units matched of "CDATA["
    int depth_ = 0;               // brackets of a declaration's internal subset
    std::size_t attributes_ = 0;  // of the start tag at hand
    LineEnd firstLineEnd_ = LineEnd::kNone;

    std::vector<ByteSpan> sections_;
    std::vector<LineEnd> sectionLineEnds_;
    std::uint64_t sectionBegin_ = 0;
    LineEnd sectionLineEnd_ = LineEnd::kNone;

    bool inRoot_ = false;
    bool rootDone_ = false;
    bool inName_ = false;
    bool elementName_ = false;     // the name at hand is the element's, not an attribute's
    std::uint64_t spanBegin_ = 0;  // of the name or value at hand
    ByteSpan pendingName_;
    std::vector<RawAttribute> rootAttributes_;
    std::uint64_t rootInsertion_ = 0;
};

}  // namespace ostrel::xml::libxml2
