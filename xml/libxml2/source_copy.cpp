#include "xml/libxml2/source_copy.h"

#include <libxml/encoding.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <memory>

#include "base/utf8.h"

namespace ostrel::xml::libxml2 {

namespace {

// ---- The file's encoding ----

struct BufferDeleter {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
using Buffer = std::unique_ptr<xmlBuffer, BufferDeleter>;

// Converts through one of libxml2's decoders; false when the bytes do not convert whole.
template <typename Function>
bool Convert(xmlCharEncodingHandler* handler, std::string_view from, std::string& to,
             Function function) {
    const Buffer in(xmlBufferCreateSize(from.size() + 1));
    const Buffer out(xmlBufferCreateSize(from.size() * 2 + 16));
    if (!in || !out) return false;
    if (xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(from.data()),
                     static_cast<int>(from.size())) != 0) {
        return false;
    }
    if (function(handler, out.get(), in.get()) < 0 || xmlBufferLength(in.get()) != 0) {
        return false;
    }
    to.assign(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
              static_cast<std::size_t>(xmlBufferLength(out.get())));
    return true;
}

// ---- Texts ----

// A digest of text with its line ends as XML reads them (CR LF and CR become LF): the same for a
// CDATA section's raw text and the text the parser made of it. Only compared within the process.
std::uint64_t TextDigest(std::string_view text) {
    std::string normalised;
    if (text.find('\r') != std::string_view::npos) {
        normalised.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            normalised += text[i] == '\r' ? '\n' : text[i];
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
        text = normalised;
    }
    return RawDigest(text);
}

std::string_view LineEndText(LineEnd lineEnd) {
    switch (lineEnd) {
        case LineEnd::kCrLf:
            return "\r\n";
        case LineEnd::kCr:
            return "\r";
        default:
            return "\n";
    }
}

// The text with each line feed written as the line end.
std::string WithLineEnds(std::string_view text, LineEnd lineEnd) {
    if (lineEnd != LineEnd::kCrLf && lineEnd != LineEnd::kCr) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            out += LineEndText(lineEnd);
        } else {
            out += c;
        }
    }
    return out;
}

// An attribute value as written between quotes of either kind: markup characters and white space
// that the reader would normalise as character references, and every character beyond ASCII too,
// so that the text is ASCII in every encoding.
std::string QuotedValue(std::string_view value) {
    std::string out;
    for (const wchar_t c : ostrel::FromUtf8(value)) {
        if (c == L'&' || c == L'<' || c == L'"' || c == L'\'' || c < 0x20 || c >= 0x7F) {
            out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The value an attribute's raw text gives, as the parser reads an attribute of type CDATA:
// references resolved, each white-space character (CR LF as one) a space. False for a reference
// to an entity other than the predefined ones, and for a bare '<' or '&'.
bool UnescapedValue(std::string_view raw, std::string& value) {
    static const std::pair<std::string_view, char> kPredefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    value.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '<') return false;
        if (c == '\r' || c == '\n' || c == '\t') {
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
            value += ' ';
            continue;
        }
        if (c != '&') {
            value += c;
            continue;
        }
        const std::size_t end = raw.find(';', i);
        if (end == std::string_view::npos) return false;
        const std::string_view name = raw.substr(i + 1, end - i - 1);
        i = end;
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const std::string digits(name.substr(hex ? 2 : 1));
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                return false;
            }
            // A code beyond Unicode (the parser refuses it first) becomes U+FFFD, which is not
            // the tree's value.
            const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
            value += ToUtf8(std::wstring(1, static_cast<wchar_t>(code)));
            continue;
        }
        const auto* predefined =
            std::find_if(std::begin(kPredefined), std::end(kPredefined),
                         [&](const auto& entity) { return entity.first == name; });
        if (predefined == std::end(kPredefined)) return false;
        value += predefined->second;
    }
    return true;
}

std::string_view ContentOf(xmlNodePtr node) {
    const xmlChar* content = node->content;
    return content == nullptr ? std::string_view() : reinterpret_cast<const char*>(content);
}

std::string_view Text(const xmlChar* text) {
    return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

// The name as written: prefix:local for a namespaced attribute.
std::string QualifiedName(xmlAttrPtr attribute) {
    std::string name(Text(attribute->name));
    if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
        name.insert(0, std::string(Text(attribute->ns->prefix)) + ":");
    }
    return name;
}

// An attribute's value read from its children without expanding anything: false when it holds
// an entity reference (whose text a copy could not tell).
bool PlainValue(xmlAttrPtr attribute, std::string& value) {
    value.clear();
    for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
        if (child->type != XML_TEXT_NODE) return false;
        value += ContentOf(child);
    }
    return true;
}

bool IsNamespaceDeclaration(std::string_view name) {
    return name == "xmlns" || StartsWith(name, "xmlns:");
}

// ---- The tree's digest ----

// Combines what it is given into one digest, each piece marked by its length.
class Digester {
  public:
    void Add(std::string_view text) {
        Mix(RawDigest(text));
        Mix(text.size());
    }
    void Add(const xmlChar* text) { Add(Text(text)); }
    // A name by its address: the parser's names are shared from its dictionary, so an unchanged
    // node keeps it, and a name that changes changes it (or stays the same name).
    void AddName(const xmlChar* name) { Mix(reinterpret_cast<std::uintptr_t>(name)); }
    void Mix(std::uint64_t value) { digest_ = (digest_ ^ value) * 0x100000001B3ULL + 0x9E37; }
    std::uint64_t digest() const { return digest_; }

  private:
    std::uint64_t digest_ = 0xCBF29CE484222325ULL;
};

void AddNamespace(Digester& digester, xmlNsPtr ns) {
    digester.Mix(ns != nullptr);
    if (ns != nullptr) {
        digester.Add(ns->prefix);
        digester.Add(ns->href);
    }
}

// Adds what one node holds, its children not included.
void AddNode(Digester& digester, xmlNodePtr node, xmlNodePtr root) {
    digester.Mix(static_cast<std::uint64_t>(node->type));
    switch (node->type) {
        case XML_ELEMENT_NODE:
            digester.AddName(node->name);
            AddNamespace(digester, node->ns);
            for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next)
                AddNamespace(digester, ns);
            if (node == root) break;  // its attributes are the plan's to compare
            for (xmlAttrPtr attribute = node->properties; attribute != nullptr;
                 attribute = attribute->next) {
                digester.AddName(attribute->name);
                AddNamespace(digester, attribute->ns);
                for (xmlNodePtr child = attribute->children; child != nullptr;
                     child = child->next) {
                    digester.Mix(static_cast<std::uint64_t>(child->type));
                    digester.Add(child->type == XML_TEXT_NODE ? ContentOf(child)
                                                              : Text(child->name));
                }
            }
            break;
        case XML_CDATA_SECTION_NODE:
            // A numbered section's text is the plan's to compare.
            if (node->_private == nullptr) digester.Add(ContentOf(node));
            break;
        case XML_TEXT_NODE:
        case XML_COMMENT_NODE:
            digester.Add(ContentOf(node));
            break;
        case XML_PI_NODE:
            digester.Add(node->name);
            digester.Add(ContentOf(node));
            break;
        default:  // entity references, the document type: their names
            digester.Add(node->name);
            break;
    }
}

// The digest of the tree but for the root's attributes and the numbered sections' texts. The
// walk goes down elements only (an entity reference's children belong to its declaration).
std::uint64_t TreeDigest(xmlDocPtr doc) {
    Digester digester;
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    xmlNodePtr node = doc->children;
    while (node != nullptr) {
        AddNode(digester, node, root);
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            digester.Mix(1);  // down
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr) {
            node = node->parent;
            if (node == nullptr || node->type == XML_DOCUMENT_NODE) return digester.digest();
            digester.Mix(2);  // up
        }
        if (node != nullptr) node = node->next;
    }
    return digester.digest();
}

// ---- Reading the file in order ----

// Reads the file from its start, in large blocks, handing its bytes on.
class SequentialReader {
  public:
    // Blocks of a megabyte, or of the file's size when it is smaller.
    SequentialReader(int fd, std::uint64_t size)
        : fd_(fd), buffer_(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, 1 << 20))) {}

    // Hands the next `count` bytes to `take(std::string_view)`, which may fail; false when the file
    // ends before.
    template <typename Take>
    bool Pass(std::uint64_t count, Take&& take) {
        while (count > 0) {
            if (available() == 0 && !Fill()) return false;
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, available()));
            if (!take(std::string_view(buffer_.data() + begin_, piece))) return false;
            begin_ += piece;
            count -= piece;
        }
        return true;
    }
    bool Skip(std::uint64_t count) {
        return Pass(count, [](std::string_view) { return true; });
    }
    bool Read(std::uint64_t count, std::string& bytes) {
        bytes.clear();
        return Pass(count, [&](std::string_view piece) {
            bytes.append(piece);
            return true;
        });
    }
    // True when the file has no more bytes.
    bool AtEnd() { return available() == 0 && !Fill(); }

  private:
    std::size_t available() const { return end_ - begin_; }
    bool Fill() {
        const ssize_t read = ReadSomeAt(fd_, buffer_.data(), buffer_.size(), position_);
        if (read <= 0) return false;
        begin_ = 0;
        end_ = static_cast<std::size_t>(read);
        position_ += static_cast<std::uint64_t>(read);
        return true;
    }

    int fd_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint64_t position_ = 0;
};

bool ReadAt(int fd, ByteSpan span, std::string& bytes) {
    if (span.end < span.begin) return false;
    bytes.assign(span.end - span.begin, '\0');
    return ReadSomeAt(fd, bytes.data(), bytes.size(), span.begin) ==
           static_cast<ssize_t>(bytes.size());
}

// Whether each edit begins at or after the end of the one before it.
bool InFileOrder(const std::vector<Edit>& edits) {
    std::uint64_t position = 0;
    for (const Edit& edit : edits) {
        if (edit.span.begin < position || edit.span.end < edit.span.begin) return false;
        position = edit.span.end;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

std::uint64_t RawDigest(std::string_view bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

SourceCopy::SourceCopy(UniqueFd file, const struct stat& status, const MarkupScanner& scanner,
                       std::string encoding, const std::vector<xmlNodePtr>& sections, xmlDocPtr doc)
    : file_(std::move(file)),
      status_(status),
      encoding_(std::move(encoding)),
      unitWidth_(scanner.unitWidth()),
      bigEndian_(scanner.bigEndian()) {
    if (unitWidth_ == 1 && !encoding_.empty()) {
        handler_.reset(xmlFindCharEncodingHandler(encoding_.c_str()));
    }
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    if (!scanner.usable()) {
        notCopyable_ = "the scanner cannot read the file: " + scanner.unusableReason();
    } else if (!scanner.rootSeen() || root == nullptr) {
        notCopyable_ = "the scanner found no root";
    } else if (unitWidth_ == 1 && !encoding_.empty() && handler_ == nullptr) {
        notCopyable_ = "no converter for the encoding " + encoding_;
    }
    if (notCopyable_.empty()) notCopyable_ = CheckRoot(scanner, root);
    if (notCopyable_.empty()) notCopyable_ = CheckSections(scanner, sections);
    if (notCopyable_.empty()) treeDigest_ = TreeDigest(doc);
}

// The root as the scanner found it must be the tree's: its name, and each attribute's name and
// value, in order (namespace declarations are no attributes of the tree).
std::string SourceCopy::CheckRoot(const MarkupScanner& scanner, xmlNodePtr root) {
    std::string raw, text, value;
    const auto rawText = [&](ByteSpan span) {
        return ReadAt(file_.Get(), span, raw) && Decode(raw, text);
    };
    std::string name(Text(root->name));
    if (root->ns != nullptr && root->ns->prefix != nullptr) {
        name.insert(0, std::string(Text(root->ns->prefix)) + ":");
    }
    if (!rawText(scanner.rootName()) || text != name) {
        return "the scanner's root is not the tree's";
    }
    for (xmlAttrPtr attribute = root->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (!PlainValue(attribute, value)) return "a root attribute holds an entity reference";
        rootAttributes_.push_back({QualifiedName(attribute), value, {}});
    }
    std::size_t next = 0;
    for (const RawAttribute& attribute : scanner.rootAttributes()) {
        if (!rawText(attribute.name)) return "a root attribute's name cannot be read";
        if (IsNamespaceDeclaration(text)) continue;
        if (next == rootAttributes_.size() || rootAttributes_[next].name != text) {
            return "the scanner's root attributes are not the tree's";
        }
        if (!rawText(attribute.value) || !UnescapedValue(text, value) ||
            value != rootAttributes_[next].value) {
            return "the root attribute " + rootAttributes_[next].name +
                   " is not as the tree has it";
        }
        rootAttributes_[next++].raw = attribute.value;
    }
    if (next != rootAttributes_.size()) return "the tree's root has attributes the file has not";
    rootInsertion_ = scanner.rootInsertion();
    return {};
}

// The scanner's sections must be the tree's, one for one, each span holding the section's text.
std::string SourceCopy::CheckSections(const MarkupScanner& scanner,
                                      const std::vector<xmlNodePtr>& nodes) {
    const std::vector<RawSection>& raw = scanner.sections();
    if (raw.size() != nodes.size()) return "the scanner's CDATA sections are not the tree's";
    sections_.reserve(raw.size());
    SequentialReader reader(file_.Get(), static_cast<std::uint64_t>(status_.st_size));
    std::uint64_t position = 0;
    std::string bytes, text;
    for (std::size_t k = 0; k < raw.size(); ++k) {
        const ByteSpan span = raw[k].content;
        if (span.begin < position || span.end < span.begin || !reader.Skip(span.begin - position) ||
            !reader.Read(span.end - span.begin, bytes)) {
            return "the scanner's CDATA sections are out of order";
        }
        position = span.end;
        // The parsed text has no CR: its line ends are read as LF.
        const std::string_view parsed = ContentOf(nodes[k]);
        const std::uint64_t guard = RawDigest(bytes);
        // UTF-8 without CR is its own text: its guard is its text's digest.
        const bool ownText = IsOwnText(bytes);
        const std::uint64_t oldDigest = ownText ? guard : RawDigest(parsed);
        if (ownText ? bytes != parsed : !Decode(bytes, text) || TextDigest(text) != oldDigest) {
            return "CDATA section " + std::to_string(k + 1) + " is not as the tree has it";
        }
        const LineEnd lineEnd =
            raw[k].lineEnd != LineEnd::kNone ? raw[k].lineEnd : scanner.firstLineEnd();
        sections_.push_back({span, lineEnd, nodes[k], oldDigest, guard});
    }
    return {};
}

CopyPlan SourceCopy::Plan(xmlDocPtr doc) const {
    CopyPlan plan;
    struct stat now;
    if (!notCopyable_.empty()) {
        plan.notCopyable = notCopyable_;
    } else if (fstat(file_.Get(), &now) != 0 || !SameFile(now, status_)) {
        plan.notCopyable = "the file changed since it was read";
    } else if (TreeDigest(doc) != treeDigest_) {
        plan.notCopyable =
            "the document changed beyond its root's attribute values and its CDATA "
            "sections' text";
    } else {
        plan.notCopyable = PlanRoot(xmlDocGetRootElement(doc), plan);
    }
    if (plan.copyable()) plan.notCopyable = PlanSections(plan);
    if (!plan.copyable()) {
        plan.edits.clear();
        plan.texts.clear();
        return plan;
    }
    // In file order as made: the root's tag comes before every section, and the sections are
    // planned in document order. Copy checks it.
    return plan;
}

// The change of the root's start tag: the attributes of the file, in order, with new values, and
// at most one new attribute after them.
std::string SourceCopy::PlanRoot(xmlNodePtr root, CopyPlan& plan) const {
    std::size_t index = 0;
    std::string value;
    for (xmlAttrPtr attribute = root->properties; attribute != nullptr;
         attribute = attribute->next, ++index) {
        const std::string name = QualifiedName(attribute);
        if (!PlainValue(attribute, value)) return "a root attribute holds an entity reference";
        if (index == rootAttributes_.size()) {
            if (attribute->next != nullptr) return "more than one attribute was added to the root";
            std::string& bytes = plan.texts.emplace_back();
            if (!Encode(" " + name + "=\"" + QuotedValue(value) + "\"", bytes)) {
                return "the new attribute's name has no code in the file's encoding";
            }
            plan.edits.push_back({{rootInsertion_, rootInsertion_}, RawDigest({}), bytes});
            continue;
        }
        const RootAttribute& old = rootAttributes_[index];
        if (name != old.name) return "the root's attributes are not those of the file";
        if (value == old.value) continue;
        std::string raw;
        std::string& bytes = plan.texts.emplace_back();
        if (!ReadAt(file_.Get(), old.raw, raw) || !Encode(QuotedValue(value), bytes)) {
            return "the root attribute " + name + " cannot be rewritten";
        }
        plan.edits.push_back({old.raw, RawDigest(raw), bytes});
    }
    if (index < rootAttributes_.size()) return "an attribute of the root was removed";
    return {};
}

// The changes of the sections' texts, each written with the section's line ends. A text in UTF-8
// with LF line ends is written as the tree holds it.
std::string SourceCopy::PlanSections(CopyPlan& plan) const {
    for (const Section& section : sections_) {
        const std::string_view text = ContentOf(section.node);
        if (RawDigest(text) == section.oldDigest) continue;
        if (text.find("]]>") != std::string::npos) return "a CDATA section's text holds \"]]>\"";
        const bool lineFeeds = section.lineEnd != LineEnd::kCrLf && section.lineEnd != LineEnd::kCr;
        if (lineFeeds && IsUtf8()) {
            plan.edits.push_back({section.span, section.guard, text});
            continue;
        }
        std::string& bytes = plan.texts.emplace_back();
        if (!Encode(WithLineEnds(text, section.lineEnd), bytes)) {
            return "a CDATA section's text has a character without a code in the file's encoding";
        }
        plan.edits.push_back({section.span, section.guard, bytes});
    }
    return {};
}

HResult SourceCopy::Copy(const CopyPlan& plan, io::ByteSink& sink) const {
    SequentialReader reader(file_.Get(), static_cast<std::uint64_t>(status_.st_size));
    HResult written = hr::kOk;
    const auto write = [&](std::string_view bytes) {
        written = sink.Write(bytes);
        return !hr::Failed(written);
    };
    if (!InFileOrder(plan.edits)) return hr::kInvalidArg;
    std::uint64_t position = 0;
    std::string old;
    for (const Edit& edit : plan.edits) {
        if (!reader.Pass(edit.span.begin - position, write)) {
            return hr::Failed(written) ? written : hr::kSourceChanged;
        }
        // The bytes replaced must be those the plan was made from.
        if (!reader.Read(edit.span.end - edit.span.begin, old) || RawDigest(old) != edit.guard) {
            return hr::kSourceChanged;
        }
        if (!write(edit.bytes)) return written;
        position = edit.span.end;
    }
    if (!reader.Pass(static_cast<std::uint64_t>(status_.st_size) - position, write)) {
        return hr::Failed(written) ? written : hr::kSourceChanged;
    }
    return reader.AtEnd() ? hr::kOk : hr::kSourceChanged;
}

const char* SourceCopy::WholeWriteEncoding(const char* declared) const {
    if (unitWidth_ == 4) return bigEndian_ ? "UCS-4BE" : "UCS-4LE";
    if (declared != nullptr) return declared;
    return unitWidth_ == 2 ? "UTF-16" : "UTF-8";
}

bool SourceCopy::IsUtf8() const { return unitWidth_ == 1 && encoding_.empty(); }

bool SourceCopy::IsOwnText(std::string_view bytes) const {
    return IsUtf8() && bytes.find('\r') == std::string_view::npos;
}

bool SourceCopy::Encode(std::string_view text, std::string& bytes) const {
    if (unitWidth_ > 1) {
        bytes = EncodeUnits(text, {unitWidth_, bigEndian_});
        return true;
    }
    if (encoding_.empty()) {
        bytes.assign(text);
        return true;
    }
    // libxml2 writes a character the encoding lacks as a character reference, which the way
    // back shows.
    std::string back;
    return handler_ != nullptr && Convert(handler_.get(), text, bytes, xmlCharEncOutFunc) &&
           Convert(handler_.get(), bytes, back, xmlCharEncInFunc) && back == text;
}

bool SourceCopy::Decode(std::string_view bytes, std::string& text) const {
    if (unitWidth_ > 1) return DecodeUnits(bytes, {unitWidth_, bigEndian_}, text);
    if (encoding_.empty()) {
        text.assign(bytes);
        return true;
    }
    return handler_ != nullptr && Convert(handler_.get(), bytes, text, xmlCharEncInFunc);
}

}  // namespace ostrel::xml::libxml2
