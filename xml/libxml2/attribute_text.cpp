#include "xml/libxml2/attribute_text.h"

#include <libxml/entities.h>

#include <cstring>

namespace ostrel::xml::libxml2 {

namespace {

constexpr std::uint64_t kMeasuring = UINT64_MAX;

bool IsText(xmlNodePtr node) {
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

std::size_t LengthOf(const xmlChar* text) {
    return text != nullptr ? std::strlen(reinterpret_cast<const char*>(text)) : 0;
}

// Sums without overflow: a count that would pass kMeasuring stays just below it.
std::uint64_t Plus(std::uint64_t a, std::uint64_t b) {
    return b < kMeasuring - 1 - a ? a + b : kMeasuring - 1;
}

// Appends the text of `nodes`, references replaced, while `steps` last.
bool AppendText(xmlDocPtr doc, xmlNodePtr nodes, int depth, std::size_t& steps,
                std::string& value) {
    if (depth > kMaxEntityDepth) return false;
    for (xmlNodePtr node = nodes; node != nullptr; node = node->next) {
        if (steps == 0) return false;
        --steps;
        if (IsText(node)) {
            const std::size_t length = LengthOf(node->content);
            if (length > steps) return false;
            steps -= length;
            value.append(reinterpret_cast<const char*>(node->content), length);
        } else if (node->type == XML_ENTITY_REF_NODE) {
            const xmlEntity* entity = xmlGetDocEntity(doc, node->name);
            if (entity == nullptr) continue;
            if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) {
                value.append(reinterpret_cast<const char*>(entity->content));
            } else if (!AppendText(doc, entity->children, depth + 1, steps, value)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> ExpandedValue(xmlAttrPtr attribute, std::size_t limit) {
    std::string value;
    if (!AppendText(attribute->doc, attribute->children, 0, limit, value)) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> EntityTextMeter::ReferencedBytes(xmlDocPtr doc, xmlNodePtr children) {
    std::uint64_t total = 0;
    for (xmlNodePtr node = children; node != nullptr; node = node->next) {
        if (node->type != XML_ENTITY_REF_NODE) continue;
        const auto bytes = EntityBytes(doc, node, 1);
        if (!bytes) return std::nullopt;
        total = Plus(total, *bytes);
    }
    return total;
}

std::optional<std::uint64_t> EntityTextMeter::EntityBytes(xmlDocPtr doc, xmlNodePtr reference,
                                                          int depth) {
    const xmlEntity* entity = xmlGetDocEntity(doc, reference->name);
    if (entity == nullptr) return 0;
    if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return LengthOf(entity->content);
    const auto [known, first] = bytes_.try_emplace(entity, kMeasuring);
    if (!first) {
        if (known->second == kMeasuring) return std::nullopt;  // it refers back to itself
        return known->second;
    }
    const auto bytes = TextBytes(doc, entity->children, depth);
    if (bytes) bytes_[entity] = *bytes;
    return bytes;
}

std::optional<std::uint64_t> EntityTextMeter::TextBytes(xmlDocPtr doc, xmlNodePtr nodes,
                                                        int depth) {
    if (depth > kMaxEntityDepth) return std::nullopt;
    std::uint64_t total = 0;
    for (xmlNodePtr node = nodes; node != nullptr; node = node->next) {
        if (IsText(node)) {
            total = Plus(total, LengthOf(node->content));
        } else if (node->type == XML_ENTITY_REF_NODE) {
            const auto bytes = EntityBytes(doc, node, depth + 1);
            if (!bytes) return std::nullopt;
            total = Plus(total, *bytes);
        }
    }
    return total;
}

}  // namespace ostrel::xml::libxml2
