#pragma once

// The per-element tests that the search strategies vary over one shared walk. Each accepts
// any parser node and rejects everything that is not an element.

#include <gumbo.h>

#include <string>

#include "node/gumbo_access.h"
#include "search/criteria.h"

namespace velkaron {

// A tag name resolved once: by tag number (case-insensitive) for names the parser knows,
// else byte for byte against the element name, which unknown elements leave empty.
struct TagTest {
    GumboTag tag;
    std::string name;

    explicit TagTest(const std::string& tag_name)
        : tag(gumbo_tagn_enum(tag_name.data(), static_cast<unsigned int>(tag_name.size()))),
          name(tag_name) {}

    bool operator()(const GumboNode* node) const {
        if (!is_element_node(node)) return false;
        if (tag != GUMBO_TAG_UNKNOWN) return node->v.element.tag == tag;
        return bytes_equal(element_name(node), name);
    }
};

struct ClassTokenTest {
    const std::string& token;
    bool operator()(const GumboNode* node) const {
        return is_element_node(node) && has_class_token(node, token);
    }
};

struct IdTest {
    const std::string& id;
    bool operator()(const GumboNode* node) const { return is_element_node(node) && has_id(node, id); }
};

struct CriteriaTest {
    const MatchCriteria& criteria;
    bool operator()(const GumboNode* node) const { return matches_criteria(criteria, node); }
};

struct StrictCriteriaTest {
    const MatchCriteria& criteria;
    bool operator()(const GumboNode* node) const { return matches_criteria_strict(criteria, node); }
};

}  // namespace velkaron
