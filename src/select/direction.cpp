#include "select/direction.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "node/tree_walk.h"
#include "select/element_access.h"
#include "select/html_states.h"

namespace velkaron::select {

namespace {

// What a character says about direction.
enum Strength : std::uint8_t { neutral = 0, left = 1, right = 2 };

struct Run {
    char32_t first;
    std::uint8_t strength;
};

constexpr Run runs[] = {
#include "select/strong_direction_table.inc"
};

Strength strength_of(char32_t c) {
    const Run* after = std::upper_bound(std::begin(runs), std::end(runs), c,
                                        [](char32_t value, const Run& run) { return value < run.first; });
    return static_cast<Strength>((after - 1)->strength);
}

// The first strongly directional character of UTF-8 text; broken sequences are skipped.
Strength first_strong(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        const Strength strength = strength_of(c);
        if (strength != neutral) return strength;
    }
    return neutral;
}

enum class DirAttribute { none, ltr, rtl, automatic };

DirAttribute dir_attribute(const GumboNode* element) {
    const char* value = is_html(element) ? attribute_value(element, "dir") : nullptr;
    if (value == nullptr) return DirAttribute::none;
    if (equals_folded(value, "ltr")) return DirAttribute::ltr;
    if (equals_folded(value, "rtl")) return DirAttribute::rtl;
    return equals_folded(value, "auto") ? DirAttribute::automatic : DirAttribute::none;
}

bool is_text(const GumboNode* node) {
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
           node->type == GUMBO_NODE_CDATA;
}

// Elements whose text says nothing of their parent's direction: those with a direction of
// their own, and those whose text is no content (scripts, styles, a textarea's value).
bool keeps_own_text(const GumboNode* element) {
    if (is_html(element)) {
        switch (element->v.element.tag) {
            case GUMBO_TAG_BDI:
            case GUMBO_TAG_SCRIPT:
            case GUMBO_TAG_STYLE:
            case GUMBO_TAG_TEXTAREA: return true;
            default: break;
        }
    }
    return dir_attribute(element) != DirAttribute::none;
}

Strength strong_in_children(const GumboNode* element) {
    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (!is_text(child)) continue;
        const Strength strength = first_strong(child->v.text.text != nullptr ? child->v.text.text : "");
        if (strength != neutral) return strength;
    }
    return neutral;
}

// Template contents are no part of the document, so the walk does not enter them either.
Strength strong_in_contents(const GumboNode* element) {
    Strength found = neutral;
    walk_preorder(
        const_cast<GumboNode*>(element), 16,
        [element](const GumboNode* node) {
            return node == element || (is_element_node(node) && !keeps_own_text(node));
        },
        [&found](const GumboNode* node) {
            if (is_text(node)) found = first_strong(node->v.text.text != nullptr ? node->v.text.text : "");
            return found != neutral;
        });
    return found;
}

bool takes_direction_from_value(const GumboNode* element) {
    if (!is_html_tag(element, GUMBO_TAG_INPUT)) return false;
    const std::string type = input_type(element);
    return type == "text" || type == "search" || type == "tel" || type == "url" || type == "email";
}

// dir=auto: the first strong character decides, left to right when there is none.
Direction from_text(const GumboNode* element) {
    Strength strength = neutral;
    if (takes_direction_from_value(element)) {
        const char* value = attribute_value(element, "value");
        strength = first_strong(value != nullptr ? value : "");
    } else if (is_html_tag(element, GUMBO_TAG_TEXTAREA)) {
        strength = strong_in_children(element);
    } else {
        strength = strong_in_contents(element);
    }
    return strength == right ? Direction::rtl : Direction::ltr;
}

// The element's own direction, or nothing when it takes its parent's.
std::optional<Direction> own_direction(const GumboNode* element) {
    switch (dir_attribute(element)) {
        case DirAttribute::ltr: return Direction::ltr;
        case DirAttribute::rtl: return Direction::rtl;
        case DirAttribute::automatic: return from_text(element);
        case DirAttribute::none: break;
    }
    // Telephone numbers read left to right whatever surrounds them.
    if (is_html_tag(element, GUMBO_TAG_INPUT) && input_type(element) == "tel") return Direction::ltr;
    if (is_html_tag(element, GUMBO_TAG_BDI)) return from_text(element);
    if (parent_element(element) == nullptr) return Direction::ltr;
    return std::nullopt;
}

}  // namespace

Direction Directions::of(const GumboNode* element) {
    std::vector<const GumboNode*> inheriting;
    Direction direction = Direction::ltr;
    for (const GumboNode* at = element;; at = parent_element(at)) {
        const auto found = known.find(at);
        if (found != known.end()) {
            direction = found->second;
            break;
        }
        if (const auto own = own_direction(at)) {
            direction = *own;
            known.emplace(at, direction);
            break;
        }
        inheriting.push_back(at);
    }
    for (const GumboNode* at : inheriting) known.emplace(at, direction);
    return direction;
}

}  // namespace velkaron::select
