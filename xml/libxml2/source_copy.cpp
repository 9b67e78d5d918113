#include "xml/libxml2/source_copy.h"

#include <libxml/encoding.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

#include "base/utf8.h"

namespace ostrel::xml::libxml2 {

namespace {

// ---- The file's encoding ----

struct HandlerCloser {
    void operator()(xmlCharEncodingHandler* handler) const { xmlCharEncCloseFunc(handler); }
};
struct BufferDeleter {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
using Buffer = std::unique_ptr<xmlBuffer, BufferDeleter>;

// Converts between UTF-8 and the file's encoding: UTF-8 itself, UTF-16 of either byte order, or
// whatever libxml2's decoder of that name reads and writes.
class FileEncoding {
  public:
    FileEncoding(const std::string& name, int unitWidth, bool bigEndian)
        : width_(unitWidth), bigEndian_(bigEndian) {
        if (!name.empty() && width_ != 2) {
            handler_.reset(xmlFindCharEncodingHandler(name.c_str()));
        }
    }
    // False when the encoding cannot be converted here.
    bool usable() const { return width_ == 2 || handler_ != nullptr || IsUtf8(); }
    // True for UTF-8, where the file's bytes are the text.
    bool IsUtf8() const { return width_ == 1 && handler_ == nullptr; }

    // The UTF-8 text of raw bytes; false when they are not valid in the encoding.
    bool ToUtf8(std::string_view raw, std::string& text) const {
        if (IsUtf8()) {
            text.assign(raw);
            return true;
        }
        if (width_ == 2) return FromUtf16(raw, text);
        return Convert(raw, text, xmlCharEncInFunc);
    }
    // The raw bytes of UTF-8 text; false when a character has no code in the encoding.
    bool FromUtf8(std::string_view text, std::string& raw) const {
        if (IsUtf8()) {
            raw.assign(text);
            return true;
        }
        if (width_ == 2) return ToUtf16(text, raw);
        // libxml2 writes a character the encoding lacks as a character reference, which the
        // way back shows.
        std::string back;
        return Convert(text, raw, xmlCharEncOutFunc) && Convert(raw, back, xmlCharEncInFunc) &&
               back == text;
    }

  private:
    template <typename Function>
    bool Convert(std::string_view from, std::string& to, Function function) const {
        const Buffer in(xmlBufferCreateSize(from.size() + 1));
        const Buffer out(xmlBufferCreateSize(from.size() * 2 + 16));
        if (!in || !out) return false;
        if (xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(from.data()),
                         static_cast<int>(from.size())) != 0) {
            return false;
        }
        if (function(handler_.get(), out.get(), in.get()) < 0 || xmlBufferLength(in.get()) != 0) {
            return false;
        }
        to.assign(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                  static_cast<std::size_t>(xmlBufferLength(out.get())));
        return true;
    }

    bool FromUtf16(std::string_view raw, std::string& text) const {
        if (raw.size() % 2 != 0) return false;
        std::wstring wide;
        for (std::size_t i = 0; i < raw.size(); i += 2) {
            const auto high = static_cast<unsigned char>(raw[i + (bigEndian_ ? 0 : 1)]);
            const auto low = static_cast<unsigned char>(raw[i + (bigEndian_ ? 1 : 0)]);
            const char32_t unit = static_cast<char32_t>(high << 8 | low);
            const bool lead = unit >= 0xD800 && unit <= 0xDBFF;
            if (lead && i + 3 < raw.size()) {
                const auto high2 = static_cast<unsigned char>(raw[i + 2 + (bigEndian_ ? 0 : 1)]);
                const auto low2 = static_cast<unsigned char>(raw[i + 2 + (bigEndian_ ? 1 : 0)]);
                const char32_t trail = static_cast<char32_t>(high2 << 8 | low2);
                if (trail >= 0xDC00 && trail <= 0xDFFF) {
                    wide +=
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (trail - 0xDC00));
                    i += 2;
                    continue;
                }
            }
            wide += static_cast<wchar_t>(unit);
        }
        text = ostrel::ToUtf8(wide);
        return true;
    }

    bool ToUtf16(std::string_view text, std::string& raw) const {
        raw.clear();
        const auto put = [&](char32_t unit) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            raw += bigEndian_ ? high : low;
            raw += bigEndian_ ? low : high;
        };
        for (const wchar_t c : ostrel::FromUtf8(text)) {
            const auto code = static_cast<char32_t>(c);
            if (code >= 0x10000) {
                put(0xD800 + ((code - 0x10000) >> 10));
                put(0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                put(code);
            }
        }
        return true;
    }

    int width_;
    bool bigEndian_;
    std::unique_ptr<xmlCharEncodingHandler, HandlerCloser> handler_;
};

// ---- Texts ----

// A digest of text with its line ends as XML reads them (CR LF and CR become LF): the same for a
// CDATA section's raw text and the text the parser made of it. Never 0, which stands for "no
// digest". Only compared within the process.
std::uint64_t Digest(std::string_view text) {
    std::string normalised;
    if (text.find('\r') != std::string_view::npos) {
        normalised.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            normalised += text[i] == '\r' ? '\n' : text[i];
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
        text = normalised;
    }
    return std::hash<std::string_view>{}(text) | 1;
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
// that the reader would normalise as character references, and every character beyond ASCII too, so
// that the text is ASCII in every encoding.
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

std::string_view ContentOf(xmlNodePtr node) {
    const xmlChar* content = node->content;
    return content == nullptr ? std::string_view() : reinterpret_cast<const char*>(content);
}

std::vector<std::pair<std::string, std::string>> AttributesOf(xmlNodePtr element) {
    std::vector<std::pair<std::string, std::string>> attributes;
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        std::string name = reinterpret_cast<const char*>(attribute->name);
        if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
            name = reinterpret_cast<const char*>(attribute->ns->prefix) + (":" + name);
        }
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
        attributes.emplace_back(name, value != nullptr ? reinterpret_cast<char*>(value) : "");
        xmlFree(value);
    }
    return attributes;
}

// ---- Reading the file in order ----

// Reads the file from its start, in large blocks, handing its bytes on.
class SequentialReader {
  public:
    // Blocks of a megabyte, or of the file's size when it is smaller.
    SequentialReader(int fd, std::uint64_t size)
        : fd_(fd), buffer_(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, 1 << 20))) {}

    // Hands the next `count` bytes to the sink.
    HResult CopyTo(io::ByteSink& sink, std::uint64_t count) {
        while (count > 0) {
            if (available() == 0 && !Fill()) return SourceCopy::kNotCopyable;
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, available()));
            if (const HResult written = sink.Write({buffer_.data() + begin_, piece});
                hr::Failed(written)) {
                return written;
            }
            begin_ += piece;
            count -= piece;
        }
        return hr::kOk;
    }
    // The next `count` bytes.
    bool Read(std::uint64_t count, std::string& bytes) {
        bytes.clear();
        while (count > 0) {
            if (available() == 0 && !Fill()) return false;
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, available()));
            bytes.append(buffer_.data() + begin_, piece);
            begin_ += piece;
            count -= piece;
        }
        return true;
    }
    // True when the file has no more bytes.
    bool AtEnd() { return available() == 0 && !Fill(); }

  private:
    std::size_t available() const { return end_ - begin_; }
    bool Fill() {
        ssize_t read = 0;
        do {
            read = pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(position_));
        } while (read < 0 && errno == EINTR);
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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool IsNamespaceDeclaration(std::string_view name) {
    return name == "xmlns" || name.rfind("xmlns:", 0) == 0;
}

}  // namespace

// One change to the file: the bytes [begin, end) give way to a section's new text, or (section
// -1) to the root attribute text.
struct SourceCopy::Edit {
    std::uint64_t begin;
    std::uint64_t end;
    std::ptrdiff_t section;
    std::string text;
};

SourceCopy::SourceCopy(UniqueFd file, const struct stat& status, const MarkupScanner& scanner,
                       std::string encoding, std::vector<xmlNodePtr> sections, xmlDocPtr doc)
    : file_(std::move(file)),
      status_(status),
      encoding_(std::move(encoding)),
      unitWidth_(scanner.unitWidth()),
      bigEndian_(scanner.bigEndian()),
      fileLineEnd_(scanner.firstLineEnd()),
      spans_(scanner.sections()),
      lineEnds_(scanner.sectionLineEnds()),
      sections_(std::move(sections)),
      originalDigests_(sections_.size()),
      rootInsertion_(scanner.rootInsertion()),
      intact_(scanner.usable() && scanner.rootSeen() && spans_.size() == sections_.size()) {
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    if (!intact_ || root == nullptr) {
        intact_ = false;
        return;
    }
    rootAttributes_ = AttributesOf(root);
    // The raw names must be the parsed ones, in order (namespace declarations are no attributes
    // of the tree).
    const FileEncoding encodingOfFile(encoding_, unitWidth_, bigEndian_);
    std::size_t next = 0;
    for (const RawAttribute& raw : scanner.rootAttributes()) {
        std::string bytes(raw.name.end - raw.name.begin, '\0');
        std::string name;
        if (pread(file_.Get(), bytes.data(), bytes.size(), static_cast<off_t>(raw.name.begin)) !=
                static_cast<ssize_t>(bytes.size()) ||
            !encodingOfFile.ToUtf8(bytes, name)) {
            intact_ = false;
            return;
        }
        if (IsNamespaceDeclaration(name)) continue;
        if (next >= rootAttributes_.size() || rootAttributes_[next].first != name) break;
        rootValues_.push_back(raw.value);
        ++next;
    }
    intact_ = next == rootAttributes_.size() && rootValues_.size() == rootAttributes_.size() &&
              encodingOfFile.usable();
}

void SourceCopy::BeforeSectionChange(xmlNodePtr section) {
    const auto index = reinterpret_cast<std::uintptr_t>(section->_private);
    if (index == 0 || index > sections_.size() || sections_[index - 1] != section) {
        intact_ = false;
        return;
    }
    std::uint64_t& digest = originalDigests_[index - 1];
    if (digest == 0) digest = Digest(ContentOf(section));
}

// The change of the root's start tag, if any: its attributes must be those of the file, but for
// the value of CRC, or a CRC added after them.
bool SourceCopy::RootEdit(xmlDocPtr doc, std::vector<Edit>& edits) const {
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    if (root == nullptr) return false;
    const auto now = AttributesOf(root);
    const auto isChecksum = [](const auto& attribute) { return attribute.first == "CRC"; };
    const auto before = std::find_if(rootAttributes_.begin(), rootAttributes_.end(), isChecksum);
    const auto after = std::find_if(now.begin(), now.end(), isChecksum);
    const std::ptrdiff_t beforeIndex = before - rootAttributes_.begin();
    const std::ptrdiff_t afterIndex = after - now.begin();
    auto withoutChecksum = [&](auto list, std::ptrdiff_t index) {
        if (index < static_cast<std::ptrdiff_t>(list.size())) list.erase(list.begin() + index);
        return list;
    };
    if (withoutChecksum(rootAttributes_, beforeIndex) != withoutChecksum(now, afterIndex)) {
        return false;
    }
    if (after == now.end()) return before == rootAttributes_.end();
    const std::string value = QuotedValue(after->second);
    if (before != rootAttributes_.end()) {
        if (beforeIndex != afterIndex) return false;
        if (before->second != after->second) {
            const ByteSpan span = rootValues_[static_cast<std::size_t>(beforeIndex)];
            edits.push_back({span.begin, span.end, -1, value});
        }
        return true;
    }
    if (after + 1 != now.end()) return false;
    edits.push_back({rootInsertion_, rootInsertion_, -1, " CRC=\"" + value + "\""});
    return true;
}

HResult SourceCopy::Write(io::ByteSink& sink, xmlDocPtr doc) const {
    struct stat now;
    if (!intact_ || fstat(file_.Get(), &now) != 0 || !SameFile(now, status_)) return kNotCopyable;
    std::vector<Edit> edits;
    if (!RootEdit(doc, edits)) return kNotCopyable;
    for (std::size_t k = 0; k < sections_.size(); ++k) {
        if (originalDigests_[k] != 0) {
            edits.push_back({spans_[k].begin, spans_[k].end, static_cast<std::ptrdiff_t>(k), {}});
        }
    }
    const FileEncoding encoding(encoding_, unitWidth_, bigEndian_);
    SequentialReader reader(file_.Get(), static_cast<std::uint64_t>(status_.st_size));
    std::uint64_t position = 0;
    std::string raw, text, bytes;
    for (const Edit& edit : edits) {
        if (const HResult copied = reader.CopyTo(sink, edit.begin - position); copied != hr::kOk) {
            return copied;
        }
        if (!reader.Read(edit.end - edit.begin, raw)) return kNotCopyable;
        position = edit.end;
        std::string_view replacement = edit.text;
        if (edit.section >= 0) {
            // The bytes replaced must be the text the section had.
            const auto k = static_cast<std::size_t>(edit.section);
            const bool utf8 = encoding.IsUtf8();
            if ((!utf8 && !encoding.ToUtf8(raw, text)) ||
                Digest(utf8 ? raw : text) != originalDigests_[k]) {
                return kNotCopyable;
            }
            const LineEnd lineEnd = lineEnds_[k] != LineEnd::kNone ? lineEnds_[k] : fileLineEnd_;
            replacement = ContentOf(sections_[k]);
            if (lineEnd == LineEnd::kCrLf || lineEnd == LineEnd::kCr) {
                text = WithLineEnds(replacement, lineEnd);
                replacement = text;
            }
            if (replacement.find("]]>") != std::string_view::npos) return kNotCopyable;
        }
        if (!encoding.IsUtf8()) {
            if (!encoding.FromUtf8(replacement, bytes)) return kNotCopyable;
            replacement = bytes;
        }
        if (const HResult written = sink.Write(replacement); hr::Failed(written)) return written;
    }
    if (const HResult copied =
            reader.CopyTo(sink, static_cast<std::uint64_t>(status_.st_size) - position);
        copied != hr::kOk) {
        return copied;
    }
    return reader.AtEnd() ? hr::kOk : kNotCopyable;
}

}  // namespace ostrel::xml::libxml2
