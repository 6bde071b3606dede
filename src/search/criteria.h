#pragma once

#include <gumbo.h>

#include <string>

#include "node/handle_types.h"

namespace velkaron {

// A tag name (empty: any element) and required attribute values (empty: no condition).
struct MatchCriteria {
    std::string tag_name;
    AttributeMap attrs;
};

enum class QueryShape { name_only, class_only, id_only, general };

QueryShape query_shape(const MatchCriteria& criteria);

// The general test of the sequential strategies: names and values compared whole and byte
// for byte; an empty required value asks only that the attribute be present.
bool matches_criteria(const MatchCriteria& criteria, const GumboNode* node);

// The parallel strategies' test: as matches_criteria, except that an empty required value
// matches only an attribute whose value is empty.
bool matches_criteria_strict(const MatchCriteria& criteria, const GumboNode* node);

// The element's first class attribute holds `class_token` among its space, tab, line feed or
// carriage return separated names. An empty token never matches.
bool has_class_token(const GumboNode* element, const std::string& class_token);

// The element's first id attribute equals `id` byte for byte.
bool has_id(const GumboNode* element, const std::string& id);

// The value of the single entry of a class-only or id-only query.
inline const std::string& single_value(const MatchCriteria& criteria) {
    return criteria.attrs.begin()->second;
}

}  // namespace velkaron
