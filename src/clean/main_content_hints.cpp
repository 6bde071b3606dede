#include "clean/main_content_hints.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

namespace velkaron::clean {
namespace {

std::string_view attribute(const GumboNode* element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element->v.element.attributes, name);
    return found != nullptr ? std::string_view(found->value) : std::string_view();
}

// Words that name the page around an article. Matched at the start of a word of an id or
// class, words split at spaces, '-', '_' and lower-to-upper case changes ("postComments").
constexpr std::array<std::string_view, 30> boilerplate_words = {
    "comment", "sidebar", "share", "sharing", "social", "related", "cookie", "consent",
    "promo", "advert", "sponsor", "banner", "newsletter", "subscribe", "popup", "modal",
    "breadcrumb", "footer", "navbar", "nav", "menu", "widget", "recommend", "masthead",
    "skip", "toolbar", "pagination", "pager", "signup", "outbrain"};

constexpr std::array<std::string_view, 8> content_words = {
    "article", "content", "post", "entry", "story", "main", "text", "body"};

// Whole words only: short words that are prefixes of ordinary ones ("ad" of "address").
constexpr std::array<std::string_view, 5> boilerplate_whole_words = {"ad", "ads", "adv", "tags", "meta"};

bool word_break(char previous, char current) {
    return previous == ' ' || previous == '-' || previous == '_' || previous == '\t' ||
           previous == '\n' || (std::islower(static_cast<unsigned char>(previous)) &&
                                std::isupper(static_cast<unsigned char>(current)));
}

bool is_separator(char c) { return c == ' ' || c == '-' || c == '_' || c == '\t' || c == '\n'; }

bool starts_with_lower(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    }
    return true;
}

template <std::size_t N>
bool has_word_start(std::string_view text, const std::array<std::string_view, N>& words) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (at > 0 && !word_break(text[at - 1], text[at])) continue;
        if (is_separator(text[at])) continue;
        for (std::string_view word : words) {
            if (starts_with_lower(text, at, word)) return true;
        }
    }
    return false;
}

bool has_whole_word(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (at > 0 && !is_separator(text[at - 1])) continue;
        for (std::string_view word : boilerplate_whole_words) {
            const std::size_t end = at + word.size();
            if (starts_with_lower(text, at, word) && (end == text.size() || is_separator(text[end])))
                return true;
        }
    }
    return false;
}

Hint words_hint(std::string_view text) {
    if (text.empty()) return Hint::none;
    if (has_word_start(text, boilerplate_words) || has_whole_word(text)) return Hint::boilerplate;
    if (has_word_start(text, content_words)) return Hint::content;
    return Hint::none;
}

}  // namespace

bool is_unrendered(const GumboNode* element) {
    switch (element->v.element.tag) {
        case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE: case GUMBO_TAG_HEAD: case GUMBO_TAG_SELECT:
        case GUMBO_TAG_BUTTON: case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_SVG: case GUMBO_TAG_MATH:
            return true;
        default:
            return false;
    }
}

bool is_paragraph_block(const GumboNode* element) {
    switch (element->v.element.tag) {
        case GUMBO_TAG_P: case GUMBO_TAG_PRE: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_TD:
        case GUMBO_TAG_DD: case GUMBO_TAG_LI: case GUMBO_TAG_DIV: case GUMBO_TAG_SECTION:
        case GUMBO_TAG_ARTICLE: case GUMBO_TAG_MAIN: case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
            return true;
        default:
            return false;
    }
}

Hint structural_hint(const GumboNode* element) {
    switch (element->v.element.tag) {
        case GUMBO_TAG_ARTICLE: case GUMBO_TAG_MAIN: return Hint::content;
        // Not header (an article's own holds its title) nor form (some sites wrap the page).
        case GUMBO_TAG_NAV: case GUMBO_TAG_ASIDE: case GUMBO_TAG_FOOTER: case GUMBO_TAG_MENU:
            return Hint::boilerplate;
        default: break;
    }
    const std::string_view role = attribute(element, "role");
    if (role == "main" || role == "article") return Hint::content;
    if (role == "navigation" || role == "complementary" || role == "contentinfo" ||
        role == "banner" || role == "menu" || role == "dialog" || role == "alertdialog")
        return Hint::boilerplate;
    const std::string_view itemprop = attribute(element, "itemprop");
    if (itemprop.find("articleBody") != std::string_view::npos) return Hint::content;
    return Hint::none;
}

Hint class_hint(const GumboNode* element) {
    const Hint by_id = words_hint(attribute(element, "id"));
    const Hint by_class = words_hint(attribute(element, "class"));
    if (by_id == Hint::boilerplate || by_class == Hint::boilerplate) return Hint::boilerplate;
    if (by_id == Hint::content || by_class == Hint::content) return Hint::content;
    return Hint::none;
}

}  // namespace velkaron::clean
