// A file loaded as the libxml2 backend loads it, for tests of the save at its layer: the markup
// scanner beside libxml2's parser, the CDATA sections numbered, a SourceCopy made of them.
#pragma once

#include <fcntl.h>
#include <libxml/parser.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/sinks.h"
#include "tests/support/temp_dir.h"
#include "xml/libxml2/markup_scanner.h"
#include "xml/libxml2/source_copy.h"

namespace ostrel::xml::libxml2 {

// A file loaded as the backend loads it: the scanner beside libxml2, the sections numbered.
class Loaded {
  public:
    explicit Loaded(const std::string& bytes) : path_(temp_.File(L"source.xml")) {
        test::WriteBytes(path_, bytes);
        const std::string native = test::FsPath(path_).string();
        UniqueFd fd(open(native.c_str(), O_RDONLY));
        struct stat status;
        fstat(fd.Get(), &status);
        scanner_.Feed(bytes);
        scanner_.Feed({});
        doc_ = xmlReadFile(
            native.c_str(), nullptr,
            XML_PARSE_NONET | XML_PARSE_DTDATTR | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (doc_ == nullptr) return;
        std::vector<xmlNodePtr> sections;
        Number(doc_->children, sections);
        // The backend passes libxml2's decoder, none for UTF-8.
        std::string encoding =
            doc_->encoding != nullptr ? reinterpret_cast<const char*>(doc_->encoding) : "";
        if (encoding == "UTF-8") encoding.clear();
        copy_ =
            std::make_unique<SourceCopy>(std::move(fd), status, scanner_, encoding, sections, doc_);
    }
    ~Loaded() {
        copy_.reset();
        xmlFreeDoc(doc_);
    }

    // False when libxml2 could not read the file.
    bool ok() const { return doc_ != nullptr; }
    xmlDocPtr doc() const { return doc_; }
    xmlNodePtr root() const { return xmlDocGetRootElement(doc_); }
    xmlNodePtr Section(int k) const {
        xmlNodePtr found = nullptr;
        Find(doc_->children, k, found);
        return found;
    }
    CopyPlan Plan() const { return copy_->Plan(doc_); }
    // The saved bytes, or the failure's code as text.
    std::string Copied(const CopyPlan& plan) const {
        io::StringSink sink;
        const HResult copied = copy_->Copy(plan, sink);
        return copied == hr::kOk ? sink.Content() : "failed " + std::to_string(copied);
    }
    const std::wstring& path() const { return path_; }

  private:
    static void Number(xmlNodePtr node, std::vector<xmlNodePtr>& sections) {
        for (; node != nullptr; node = node->next) {
            if (node->type == XML_CDATA_SECTION_NODE) {
                sections.push_back(node);
                node->_private = reinterpret_cast<void*>(sections.size());
            }
            if (node->type == XML_ELEMENT_NODE) Number(node->children, sections);
        }
    }
    static void Find(xmlNodePtr node, int k, xmlNodePtr& found) {
        for (; node != nullptr && found == nullptr; node = node->next) {
            if (reinterpret_cast<std::uintptr_t>(node->_private) == static_cast<std::uintptr_t>(k))
                found = node;
            if (node->type == XML_ELEMENT_NODE) Find(node->children, k, found);
        }
    }

    test::TempDir temp_;
    std::wstring path_;
    MarkupScanner scanner_;
    xmlDocPtr doc_ = nullptr;
    std::unique_ptr<SourceCopy> copy_;
};

}  // namespace ostrel::xml::libxml2
