#include "select/html_states.h"

#include <array>
#include <string>

#include "node/tag_name.h"
#include "node/tree_walk.h"
#include "select/element_access.h"
#include "select/form_values.h"

namespace velkaron::select {

namespace {

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> words) {
    for (std::string_view word : words) {
        if (value == word) return true;
    }
    return false;
}

std::string folded(const char* value) {
    std::string text = value != nullptr ? value : "";
    for (char& c : text) c = lower_ascii(c);
    return text;
}

bool required_applies(const GumboNode* input) {
    return !is_one_of(input_type(input), {"hidden", "range", "color", "submit", "image", "reset", "button"});
}

bool is_ascii_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether an input's value, cleaned as its type cleans values, is empty.
bool input_value_empty(const GumboNode* input, std::string_view type) {
    const char* raw = attribute_value(input, "value");
    const std::string_view value = raw != nullptr ? raw : "";
    if (type == "number") return !is_valid_number(value);
    // Every type showing a placeholder drops line breaks; URL and email also trim spaces.
    const bool trims = type == "url" || type == "email";
    for (char c : value) {
        if (c != '\n' && c != '\r' && !(trims && is_ascii_space(c))) return false;
    }
    return true;
}

bool has_no_text(const GumboNode* element) {
    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA) {
            if (child->v.text.text != nullptr && child->v.text.text[0] != '\0') return false;
        }
    }
    return true;
}

bool is_form_control(const GumboNode* element) {
    if (!is_html(element)) return false;
    switch (element->v.element.tag) {
        case GUMBO_TAG_BUTTON:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_FIELDSET: return true;
        default: return false;
    }
}

GumboNode* first_legend_child(const GumboNode* fieldset) {
    const GumboVector& children = fieldset->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        GumboNode* child = child_at(&children, i);
        if (is_element_node(child) && is_html_tag(child, GUMBO_TAG_LEGEND)) return child;
    }
    return nullptr;
}

// A disabled fieldset ancestor disables what it holds, except inside its first legend.
bool inside_disabled_fieldset(const GumboNode* element) {
    const GumboNode* below = element;
    for (GumboNode* up = parent_element(element); up != nullptr; below = up, up = parent_element(up)) {
        if (is_html_tag(up, GUMBO_TAG_FIELDSET) && has_attribute(up, "disabled") &&
            below != first_legend_child(up)) {
            return true;
        }
    }
    return false;
}

bool is_enableable(const GumboNode* element) {
    return is_form_control(element) || is_html_tag(element, GUMBO_TAG_OPTGROUP) ||
           is_html_tag(element, GUMBO_TAG_OPTION);
}

std::string_view next_subtag(std::string_view& rest) {
    const std::size_t dash = rest.find('-');
    const std::string_view subtag = rest.substr(0, dash);
    rest = dash == std::string_view::npos ? std::string_view() : rest.substr(dash + 1);
    return subtag;
}

// Extended filtering of a language tag by a range: `*` stands for any subtag, and subtags
// the range skips may sit between those it names, but never a singleton.
bool range_matches(std::string_view range, std::string_view tag) {
    if (tag.empty()) return false;
    const std::string_view first = next_subtag(range);
    if (first != "*" && first != next_subtag(tag)) return false;
    if (first == "*") next_subtag(tag);
    while (!range.empty()) {
        const std::string_view wanted = next_subtag(range);
        if (wanted == "*") continue;
        for (;;) {
            if (tag.empty()) return false;
            const std::string_view subtag = next_subtag(tag);
            if (subtag == wanted) break;
            if (subtag.size() == 1) return false;
        }
    }
    return true;
}

}  // namespace

std::string input_type(const GumboNode* input) {
    static constexpr std::array<std::string_view, 22> known = {
        "hidden", "text", "search", "tel", "url", "email", "password", "date", "month", "week",
        "time", "datetime-local", "number", "range", "color", "checkbox", "radio", "file",
        "submit", "image", "reset", "button"};
    std::string type = folded(attribute_value(input, "type"));
    for (std::string_view state : known) {
        if (type == state) return type;
    }
    return "text";
}

bool readonly_applies(const GumboNode* input) {
    return is_one_of(input_type(input), {"text", "search", "url", "tel", "email", "password", "date",
                                         "month", "week", "time", "datetime-local", "number"});
}

const GumboNode* owning_select(const GumboNode* option) {
    const GumboNode* parent = parent_element(option);
    if (parent != nullptr && is_html_tag(parent, GUMBO_TAG_OPTGROUP)) parent = parent_element(parent);
    return parent != nullptr && is_html_tag(parent, GUMBO_TAG_SELECT) ? parent : nullptr;
}

const GumboNode* shown_by_default(const GumboNode* select) {
    if (has_attribute(select, "multiple")) return nullptr;
    if (const char* size = attribute_value(select, "size")) {
        long rows = 0;
        const char* digit = size;
        while (*digit == ' ' || *digit == '\t' || *digit == '\n' || *digit == '\r' || *digit == '\f') ++digit;
        for (; *digit >= '0' && *digit <= '9' && rows < 10; ++digit) rows = rows * 10 + (*digit - '0');
        if (rows > 1) return nullptr;
    }
    const GumboNode* first_enabled = nullptr;
    bool any_selected = false;
    walk_elements(const_cast<GumboNode*>(select), 16, [&](GumboNode* element) {
        if (!is_html_tag(element, GUMBO_TAG_OPTION) || owning_select(element) != select) return false;
        if (has_attribute(element, "selected")) any_selected = true;
        if (first_enabled == nullptr && !is_disabled(element)) first_enabled = element;
        return any_selected;
    });
    return any_selected ? nullptr : first_enabled;
}

bool is_any_link(const GumboNode* element) {
    return (is_html_tag(element, GUMBO_TAG_A) || is_html_tag(element, GUMBO_TAG_AREA)) &&
           has_attribute(element, "href");
}

bool is_checked(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_OPTION)) return has_attribute(element, "selected");
    if (!is_html_tag(element, GUMBO_TAG_INPUT) || !has_attribute(element, "checked")) return false;
    const std::string type = input_type(element);
    return type == "checkbox" || type == "radio";
}

bool is_disabled(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_OPTGROUP)) return has_attribute(element, "disabled");
    if (is_html_tag(element, GUMBO_TAG_OPTION)) {
        const GumboNode* parent = parent_element(element);
        return has_attribute(element, "disabled") ||
               (parent != nullptr && is_html_tag(parent, GUMBO_TAG_OPTGROUP) &&
                has_attribute(parent, "disabled"));
    }
    if (!is_form_control(element)) return false;
    return has_attribute(element, "disabled") || inside_disabled_fieldset(element);
}

bool is_enabled(const GumboNode* element) { return is_enableable(element) && !is_disabled(element); }

bool is_required(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_INPUT)) {
        return required_applies(element) && has_attribute(element, "required");
    }
    return (is_html_tag(element, GUMBO_TAG_SELECT) || is_html_tag(element, GUMBO_TAG_TEXTAREA)) &&
           has_attribute(element, "required");
}

bool is_optional(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_INPUT)) {
        return required_applies(element) && !has_attribute(element, "required");
    }
    return (is_html_tag(element, GUMBO_TAG_SELECT) || is_html_tag(element, GUMBO_TAG_TEXTAREA)) &&
           !has_attribute(element, "required");
}

bool is_read_write(const GumboNode* element, bool editable) {
    if (is_html_tag(element, GUMBO_TAG_INPUT)) {
        if (readonly_applies(element) && !has_attribute(element, "readonly") && !is_disabled(element)) {
            return true;
        }
    } else if (is_html_tag(element, GUMBO_TAG_TEXTAREA)) {
        if (!has_attribute(element, "readonly") && !is_disabled(element)) return true;
    }
    return editable;
}

bool is_defined(const GumboNode* element) {
    if (!is_html(element) || element->v.element.tag != GUMBO_TAG_UNKNOWN) return true;
    const std::string name = real_tag_name(element);
    // A valid custom element name: a lower-case letter first, a hyphen, none of the reserved.
    const bool custom = !name.empty() && name[0] >= 'a' && name[0] <= 'z' &&
                        name.find('-') != std::string::npos &&
                        !is_one_of(name, {"annotation-xml", "color-profile", "font-face",
                                          "font-face-src", "font-face-uri", "font-face-format",
                                          "font-face-name", "missing-glyph"});
    return !custom;
}

bool is_placeholder_shown(const GumboNode* element) {
    const char* placeholder = attribute_value(element, "placeholder");
    if (placeholder == nullptr || placeholder[0] == '\0') return false;
    if (is_html_tag(element, GUMBO_TAG_TEXTAREA)) return has_no_text(element);
    if (!is_html_tag(element, GUMBO_TAG_INPUT)) return false;
    const std::string type = input_type(element);
    return is_one_of(type, {"text", "search", "url", "tel", "email", "password", "number"}) &&
           input_value_empty(element, type);
}

bool is_open(const GumboNode* element) {
    // The parser numbers no dialog tag; it is known by name.
    const bool dialog = is_html_tag(element, GUMBO_TAG_UNKNOWN) && equals_folded(tag_name_view(element), "dialog");
    return (is_html_tag(element, GUMBO_TAG_DETAILS) || dialog) && has_attribute(element, "open");
}

std::optional<bool> editable_set_by(const GumboNode* element) {
    const char* value = is_html(element) ? attribute_value(element, "contenteditable") : nullptr;
    if (value == nullptr) return std::nullopt;
    const std::string state = folded(value);
    if (state.empty() || state == "true" || state == "plaintext-only") return true;
    if (state == "false") return false;
    return std::nullopt;
}

std::optional<const char*> language_set_by(const GumboNode* element) {
    const char* language = attribute_value(element, "lang");
    if (language == nullptr) return std::nullopt;
    return language;
}

std::string pragma_language(const GumboNode* element) {
    const GumboNode* root = element;
    while (parent_element(root) != nullptr) root = parent_element(root);
    std::string language;
    const GumboVector* top = children_of(root);
    for (unsigned int i = 0; top != nullptr && i < top->length; ++i) {
        const GumboNode* head = child_at(top, i);
        if (!is_element_node(head) || !is_html_tag(head, GUMBO_TAG_HEAD)) continue;
        const GumboVector& metas = head->v.element.children;
        for (unsigned int j = 0; j < metas.length; ++j) {
            const GumboNode* meta = child_at(&metas, j);
            const bool is_meta = is_element_node(meta) && is_html_tag(meta, GUMBO_TAG_META);
            const char* equiv = is_meta ? attribute_value(meta, "http-equiv") : nullptr;
            const char* content = equiv != nullptr ? attribute_value(meta, "content") : nullptr;
            if (content == nullptr || folded(equiv) != "content-language") continue;
            // A list of languages sets none; otherwise its first word is the language.
            const std::string_view value(content);
            if (value.find(',') != std::string_view::npos) continue;
            const std::size_t start = value.find_first_not_of(" \t\n\f\r");
            if (start == std::string_view::npos) continue;
            language = std::string(value.substr(start, value.find_first_of(" \t\n\f\r", start) - start));
        }
        break;
    }
    return language;
}

bool language_matches(const char* language, std::string_view ranges) {
    if (language == nullptr) return false;
    const std::string tag = folded(language);
    while (!ranges.empty()) {
        const std::size_t comma = ranges.find(',');
        if (range_matches(ranges.substr(0, comma), tag)) return true;
        if (comma == std::string_view::npos) break;
        ranges.remove_prefix(comma + 1);
    }
    return false;
}

bool value_ignores_case(std::string_view name) {
    static constexpr std::array<std::string_view, 46> names = {
        "accept", "accept-charset", "align", "alink", "axis", "bgcolor", "charset", "checked",
        "clear", "codetype", "color", "compact", "declare", "defer", "dir", "direction",
        "disabled", "enctype", "face", "frame", "hreflang", "http-equiv", "lang", "language",
        "link", "media", "method", "multiple", "nohref", "noresize", "noshade", "nowrap",
        "readonly", "rel", "rev", "rules", "scope", "scrolling", "selected", "shape", "target",
        "text", "type", "valign", "valuetype", "vlink"};
    for (std::string_view candidate : names) {
        if (candidate == name) return true;
    }
    return false;
}

}  // namespace velkaron::select
