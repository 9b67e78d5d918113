// A file loaded by the libxml2 backend's own reader, for tests of the save at its layer: the
// document with its CDATA sections numbered, and the SourceCopy the reader made of the file.
#pragma once

#include <cstdint>
#include <string>

#include "io/sinks.h"
#include "tests/support/temp_dir.h"
#include "xml/libxml2/libxml2_reader.h"

namespace ostrel::xml::libxml2 {

class Loaded {
  public:
    // Loaded as the backend loads a program file, white space kept.
    explicit Loaded(const std::string& bytes) : path_(temp_.File(L"source.xml")) {
        test::WriteBytes(path_, bytes);
        result_ = ReadDocument(path_, {true, true});
    }

    // False when the reader refused the file.
    bool ok() const { return result_.doc != nullptr; }
    xmlDocPtr doc() const { return result_.doc.get(); }
    xmlNodePtr root() const { return xmlDocGetRootElement(doc()); }
    // The CDATA section numbered k (from 1, in document order), or null.
    xmlNodePtr Section(int k) const {
        xmlNodePtr found = nullptr;
        Find(doc()->children, k, found);
        return found;
    }
    CopyPlan Plan() const { return result_.source->Plan(doc()); }
    // The saved bytes, or the failure's code as text.
    HResult CopyTo(const CopyPlan& plan, io::ByteSink& sink) const {
        return result_.source->Copy(plan, sink);
    }
    std::string Copied(const CopyPlan& plan) const {
        io::StringSink sink;
        const HResult copied = CopyTo(plan, sink);
        return copied == hr::kOk ? sink.Content() : "failed " + std::to_string(copied);
    }
    const std::wstring& path() const { return path_; }

  private:
    static void Find(xmlNodePtr node, int k, xmlNodePtr& found) {
        for (; node != nullptr && found == nullptr; node = node->next) {
            if (reinterpret_cast<std::uintptr_t>(node->_private) == static_cast<std::uintptr_t>(k))
                found = node;
            if (node->type == XML_ELEMENT_NODE) Find(node->children, k, found);
        }
    }

    test::TempDir temp_;
    std::wstring path_;
    LoadResult result_;
};

}  // namespace ostrel::xml::libxml2
