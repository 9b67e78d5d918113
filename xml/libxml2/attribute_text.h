// The text of attribute values as libxml2 keeps them when it does not substitute entities: text
// nodes and references to entities, whose own children are text and references again. libxml2's
// helpers that read such a value (xmlNodeListGetString, xmlNodeGetContent, xmlGetProp) follow the
// references without a bound: a loop of references overflows the stack, and many references to a
// long entity take memory without limit. What is here is bounded, and nothing else in the backend
// reads an attribute's value.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace ostrel::xml::libxml2 {

// References nested deeper than this are refused, as libxml2 refuses them when it substitutes.
constexpr int kMaxEntityDepth = 40;

// The value of an attribute with its entity references replaced by their text; nullopt when the
// references nest deeper than kMaxEntityDepth, or when reading it would take more than `limit`
// steps (a byte of text or a node visited is one step).
std::optional<std::string> ExpandedValue(xmlAttrPtr attribute, std::size_t limit);

// Measures the text that entity references add to attribute values, each entity only once, so
// that a load can bound it in time linear in the file.
class EntityTextMeter {
  public:
    // The bytes of text that the entity references among an attribute's `children` stand for;
    // nullopt when an entity refers back to itself or the references nest too deeply.
    std::optional<std::uint64_t> ReferencedBytes(xmlDocPtr doc, xmlNodePtr children);

  private:
    std::optional<std::uint64_t> EntityBytes(xmlDocPtr doc, xmlNodePtr reference, int depth);
    std::optional<std::uint64_t> TextBytes(xmlDocPtr doc, xmlNodePtr nodes, int depth);

    // The entities measured; kMeasuring while one is being measured.
    std::unordered_map<const xmlEntity*, std::uint64_t> bytes_;
};

}  // namespace ostrel::xml::libxml2
