#pragma once

// What HTML says about elements at rest: form control states, editability, language, custom
// elements, and which attribute values compare without case.

#include <gumbo.h>

#include <optional>
#include <string>
#include <string_view>

namespace velkaron::select {

bool is_any_link(const GumboNode* element);
// Checked inputs and options marked selected; the option a drop-down shows when none is
// marked is shown_by_default's.
bool is_checked(const GumboNode* element);
// The select element whose list of options holds `option` (its parent, or its optgroup's).
const GumboNode* owning_select(const GumboNode* option);
// A drop-down select (neither multiple nor a list box of several rows) with no option marked
// selected shows its first enabled option as selected; null for other selects.
const GumboNode* shown_by_default(const GumboNode* select);
bool is_disabled(const GumboNode* element);
bool is_enabled(const GumboNode* element);
bool is_required(const GumboNode* element);
bool is_optional(const GumboNode* element);
// `editable`: whether the element is editable content (see editable_set_by).
bool is_read_write(const GumboNode* element, bool editable);
// The contenteditable state an element sets itself, or nullopt when it inherits its parent's.
std::optional<bool> editable_set_by(const GumboNode* element);
bool is_defined(const GumboNode* element);
bool is_placeholder_shown(const GumboNode* element);
bool is_open(const GumboNode* element);
// An input's state from its type attribute, lower case; a missing or unknown type is "text".
std::string input_type(const GumboNode* input);
bool readonly_applies(const GumboNode* input);
// The language an element's lang attribute sets, or nullopt when it inherits its parent's.
std::optional<const char*> language_set_by(const GumboNode* element);
// The language of the document's `<meta http-equiv=content-language>`, for elements that no
// lang attribute reaches; empty when there is none.
std::string pragma_language(const GumboNode* element);
// `ranges`: lower-case language ranges joined by commas; `language` null matches none.
bool language_matches(const char* language, std::string_view ranges);

// True for the attributes whose values HTML elements compare ASCII case-insensitively.
bool value_ignores_case(std::string_view attribute_name);

}  // namespace velkaron::select
