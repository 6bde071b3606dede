#pragma once

// What HTML says about elements at rest: form control states, editability, language, custom
// elements, and which attribute values compare without case.

#include <gumbo.h>

#include <string>
#include <string_view>

namespace velkaron::select {

bool is_any_link(const GumboNode* element);
bool is_checked(const GumboNode* element);
bool is_disabled(const GumboNode* element);
bool is_enabled(const GumboNode* element);
bool is_required(const GumboNode* element);
bool is_optional(const GumboNode* element);
bool is_read_write(const GumboNode* element);
bool is_defined(const GumboNode* element);
bool is_placeholder_shown(const GumboNode* element);
bool is_open(const GumboNode* element);
// An input's state from its type attribute, lower case; a missing or unknown type is "text".
std::string input_type(const GumboNode* input);
bool readonly_applies(const GumboNode* input);
// `ranges`: lower-case language ranges joined by commas.
bool matches_language(const GumboNode* element, std::string_view ranges);

// True for the attributes whose values HTML elements compare ASCII case-insensitively.
bool value_ignores_case(std::string_view attribute_name);

}  // namespace velkaron::select
