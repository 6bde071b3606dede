#include "search/criteria.h"

#include <string_view>

#include "document/class_tokens.h"
#include "node/gumbo_access.h"

namespace velkaron {

namespace {

enum class EmptyValueRule { attribute_present, value_empty };

bool value_satisfies(const char* actual, const std::string& required, EmptyValueRule rule) {
    if (required.empty() && rule == EmptyValueRule::attribute_present) return true;
    return bytes_equal(actual, required);
}

bool has_satisfying_attribute(const GumboNode* element, const std::string& name,
                              const std::string& value, EmptyValueRule rule) {
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && bytes_equal(attribute->name, name) &&
            value_satisfies(attribute->value, value, rule)) {
            return true;
        }
    }
    return false;
}

bool matches_with_rule(const MatchCriteria& criteria, const GumboNode* node,
                       EmptyValueRule rule) {
    if (!is_element_node(node)) return false;
    if (!criteria.tag_name.empty() && !bytes_equal(element_name(node), criteria.tag_name)) {
        return false;
    }
    for (const auto& [name, value] : criteria.attrs) {
        if (!has_satisfying_attribute(node, name, value, rule)) return false;
    }
    return true;
}

}  // namespace

QueryShape query_shape(const MatchCriteria& criteria) {
    if (!criteria.tag_name.empty()) {
        return criteria.attrs.empty() ? QueryShape::name_only : QueryShape::general;
    }
    if (criteria.attrs.size() != 1) return QueryShape::general;
    const std::string& key = criteria.attrs.begin()->first;
    if (key == "class") return QueryShape::class_only;
    if (key == "id") return QueryShape::id_only;
    return QueryShape::general;
}

bool matches_criteria(const MatchCriteria& criteria, const GumboNode* node) {
    return matches_with_rule(criteria, node, EmptyValueRule::attribute_present);
}

bool matches_criteria_strict(const MatchCriteria& criteria, const GumboNode* node) {
    return matches_with_rule(criteria, node, EmptyValueRule::value_empty);
}

bool has_class_token(const GumboNode* element, const std::string& class_token) {
    const GumboAttribute* attribute = first_attribute_named(element, "class");
    if (attribute == nullptr || attribute->value == nullptr || class_token.empty()) return false;
    bool found = false;
    for_each_class_token(attribute->value, [&](std::string_view token) {
        found = token == class_token;
        return found;
    });
    return found;
}

bool has_id(const GumboNode* element, const std::string& id) {
    const GumboAttribute* attribute = first_attribute_named(element, "id");
    return attribute != nullptr && bytes_equal(attribute->value, id);
}

}  // namespace velkaron
