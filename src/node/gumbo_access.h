#pragma once

// Small readers over gumbo's public node records, shared by every subsystem.

#include <gumbo.h>

#include <cstring>
#include <string_view>

namespace velkaron {

inline bool is_element_node(const GumboNode* node) {
    return node != nullptr && node->type == GUMBO_NODE_ELEMENT;
}

// Element and document nodes are the only kinds whose children are read.
inline bool is_container_node(const GumboNode* node) {
    return node != nullptr &&
           (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_DOCUMENT);
}

inline bool is_text_like_node(const GumboNode* node) {
    return node != nullptr &&
           (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE);
}

inline bool is_element_or_text_node(const GumboNode* node) {
    return is_element_node(node) || is_text_like_node(node);
}

// Children of an element or the document node; null for every other kind (templates included).
inline const GumboVector* children_of(const GumboNode* node) {
    if (node == nullptr) return nullptr;
    if (node->type == GUMBO_NODE_ELEMENT) return &node->v.element.children;
    if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
    return nullptr;
}

inline GumboNode* child_at(const GumboVector* children, unsigned int i) {
    return static_cast<GumboNode*>(children->data[i]);
}

// Where a node sits among its parent's children (document children for the root).
inline unsigned int index_in_parent(const GumboNode* node, const GumboVector& siblings) {
    const unsigned int recorded = static_cast<unsigned int>(node->index_within_parent);
    if (recorded < siblings.length && siblings.data[recorded] == node) return recorded;
    for (unsigned int i = 0; i < siblings.length; ++i) {
        if (siblings.data[i] == node) return i;
    }
    return siblings.length;
}

inline const GumboAttribute* attribute_at(const GumboVector* attributes, unsigned int i) {
    return static_cast<const GumboAttribute*>(attributes->data[i]);
}

// The parser's lower-case name for a known tag; the empty string for unknown tags.
inline const char* element_name(const GumboNode* element) {
    return gumbo_normalized_tagname(element->v.element.tag);
}

// Stops at the first difference rather than measuring `value` first: attribute names are
// compared by the thousand on every walk that looks for one.
inline bool bytes_equal(const char* value, std::string_view expected) {
    if (value == nullptr) return false;
    for (const char wanted : expected) {
        if (*value != wanted || wanted == '\0') return false;
        ++value;
    }
    return *value == '\0';
}

// The first attribute of an element whose name is exactly `name`, or null.
inline const GumboAttribute* first_attribute_named(const GumboNode* element,
                                                   std::string_view name) {
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && bytes_equal(attribute->name, name)) return attribute;
    }
    return nullptr;
}

}  // namespace velkaron
