#pragma once

// Element-level reads the matcher needs: parents and element siblings, attributes by name
// (compared ASCII case-insensitively, as HTML documents compare them), element types.

#include <gumbo.h>

#include <cstring>
#include <string_view>

#include "node/gumbo_access.h"

namespace velkaron::select {

inline char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// `text` against an already lower-case `lower`, ASCII case-insensitively.
inline bool equals_folded(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower_ascii(text[i]) != lower[i]) return false;
    }
    return true;
}

inline GumboNode* parent_element(const GumboNode* element) {
    GumboNode* parent = element->parent;
    return is_element_node(parent) ? parent : nullptr;
}

// The element sibling `step` (+1 or -1) places along, skipping other nodes, or null.
inline GumboNode* element_sibling(const GumboNode* element, int step) {
    const GumboVector* siblings = children_of(element->parent);
    if (siblings == nullptr) return nullptr;
    long i = static_cast<long>(index_in_parent(element, *siblings));
    for (i += step; i >= 0 && i < static_cast<long>(siblings->length); i += step) {
        GumboNode* sibling = child_at(siblings, static_cast<unsigned int>(i));
        if (is_element_node(sibling)) return sibling;
    }
    return nullptr;
}

// The value of the attribute named `lower` (any case), or null.
inline const char* attribute_value(const GumboNode* element, std::string_view lower) {
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && attribute->name != nullptr && attribute->value != nullptr &&
            equals_folded(attribute->name, lower)) {
            return attribute->value;
        }
    }
    return nullptr;
}

inline bool has_attribute(const GumboNode* element, std::string_view lower) {
    return attribute_value(element, lower) != nullptr;
}

inline bool is_html(const GumboNode* element) {
    return element->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

inline bool is_html_tag(const GumboNode* element, GumboTag tag) {
    return element->v.element.tag == tag && is_html(element);
}

}  // namespace velkaron::select
