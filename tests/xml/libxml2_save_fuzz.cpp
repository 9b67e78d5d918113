// A libFuzzer target for the load, convert and save path of the libxml2 backend (built with
// -DOSTREL_FUZZ=ON by clang). Its oracle, on every input that loads:
//   - the engine's conversion, saved and read back, gives the tree the converted document holds,
//     and its save to memory gives the bytes of its save to the file;
//   - at the save's own layer, with every root attribute value and every CDATA text changed and
//     one root attribute added: when the plan copies, every byte outside its edits is the
//     source's, and the copy read back is the changed tree.
// A disagreement aborts, and libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/conversion.h"
#include "tests/engine/recording_host.h"
#include "tests/xml/loaded_source.h"
#include "tests/xml/test_documents.h"
#include "xml/platform_document.h"

namespace ostrel::xml {
namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "oracle: %s\n", what);
    std::abort();
}

// The attributes of every element, found by XPath (the DOM lists no attributes).
std::wstring Attributes(const Document& document) {
    std::wstring outline;
    for (int element = 1; document.selectSingleNode(L"(//*)[" + std::to_wstring(element) + L"]");
         ++element) {
        const std::wstring path = L"(//*)[" + std::to_wstring(element) + L"]/@*[";
        for (int k = 1;; ++k) {
            const Node attribute = document.selectSingleNode(path + std::to_wstring(k) + L"]");
            if (!attribute) break;
            outline += attribute.nodeName() + L"=" + attribute.nodeValue().value_or(L"") + L";";
        }
        outline += L"|";
    }
    return outline;
}

void ConvertAndReadBack(const std::string& input) {
    test::TempDir temp;
    const std::wstring source = temp.File(L"in.vlf"), target = temp.File(L"out.vlf");
    test::WriteBytes(source, input);
    Document converted;
    test::RecordingHost host(source, target);
    try {
        const auto outcome = engine::RunConversion(host, [&](Document& document) {
            const HResult made = CreatePlatformDocument(document);
            converted = document;
            return made;
        });
        if (outcome != engine::ConversionOutcome::kCompleted) return;
        const std::string saved = test::ReadBytes(target).value_or("");
        io::StringSink memory;
        Check(converted.save(memory) == hr::kOk && memory.Content() == saved,
              "the save to memory is the save to the file");
        Document reloaded;
        Check(CreatePlatformDocument(reloaded) == hr::kOk, "a document");
        engine::ApplyLoadOptions(reloaded);
        Check(reloaded.load(target), "the saved file loads");
        Check(contract::Outline(reloaded) == contract::Outline(converted), "the same nodes");
        Check(Attributes(reloaded) == Attributes(converted), "the same attributes");
    } catch (const Error&) {
        // A DOM failure the engine reports; nothing was saved.
    }
}

// The tree as libxml2 holds it, without expanding entity references.
void Dump(xmlNodePtr node, std::string& out) {
    for (; node != nullptr; node = node->next) {
        out += std::to_string(node->type) + ":";
        if (node->name != nullptr) out += reinterpret_cast<const char*>(node->name);
        out += "=";
        if (node->content != nullptr && node->type != XML_ENTITY_REF_NODE) {
            out += reinterpret_cast<const char*>(node->content);
        }
        if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr a = node->properties; a != nullptr; a = a->next) {
                out += std::string(" @") + reinterpret_cast<const char*>(a->name) + "{";
                Dump(a->children, out);
                out += "}";
            }
            out += "(";
            Dump(node->children, out);
            out += ")";
        }
        out += ";";
    }
}

void CopyAtItsLayer(const std::string& input) {
    libxml2::Loaded loaded(input);
    if (!loaded.ok() || loaded.root() == nullptr) return;
    const xmlNodePtr root = loaded.root();
    for (xmlAttrPtr a = root->properties; a != nullptr; a = a->next) {
        if (a->children != nullptr && a->children->type == XML_TEXT_NODE &&
            a->children->next == nullptr) {
            const std::string value = reinterpret_cast<const char*>(a->children->content);
            xmlNodeSetContent(a->children, BAD_CAST((value + "1").c_str()));
        }
    }
    if (xmlHasProp(root, BAD_CAST("fz")) == nullptr) {
        xmlSetProp(root, BAD_CAST("fz"), BAD_CAST("\"<&\t\xC2\xB5"));
    }
    for (int k = 1; xmlNodePtr section = loaded.Section(k); ++k) {
        const std::string text = reinterpret_cast<const char*>(section->content);
        xmlNodeSetContent(section, BAD_CAST((text + "\n9,").c_str()));
    }
    const libxml2::CopyPlan plan = loaded.Plan();
    if (!plan.copyable()) return;
    const std::string copied = loaded.Copied(plan);
    std::string expected;
    std::uint64_t position = 0;
    for (const libxml2::Edit& edit : plan.edits) {
        Check(edit.span.begin >= position && edit.span.end <= input.size(), "edits in order");
        expected += input.substr(position, edit.span.begin - position);
        expected += edit.bytes;
        position = edit.span.end;
    }
    expected += input.substr(position);
    Check(copied == expected, "bytes outside the edits are the source's");
    const libxml2::Loaded reloaded(copied);
    Check(reloaded.ok(), "the copy loads");
    std::string before, after;
    Dump(loaded.doc()->children, before);
    Dump(reloaded.doc()->children, after);
    Check(before == after, "the copy reads back as the changed tree");
}

}  // namespace
}  // namespace ostrel::xml

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    ostrel::xml::ConvertAndReadBack(input);
    ostrel::xml::CopyAtItsLayer(input);
    return 0;
}
