#include "clean/main_content_hints.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron::clean {
namespace {

std::string_view attribute(const GumboNode* element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element->v.element.attributes, name);
    return found != nullptr ? std::string_view(found->value) : std::string_view();
}

// Words that name the page around an article. An id or class value is read token by token
// (tokens split at spaces), each token as words split at '-', '_' and lower-to-upper case
// changes ("postComments"). A boilerplate word counts at either end of a token ("comments",
// "site-footer", "share-bar"), not in its middle, where it names a part of a layout
// ("builder-widget-container", "sticky-sidebar-parent").
constexpr std::array<std::string_view, 39> boilerplate_words = {
    "comment", "sidebar", "share", "sharing", "social", "related", "cookie", "consent",
    "promo", "advert", "sponsor", "banner", "newsletter", "subscribe", "popup", "modal",
    "breadcrumb", "footer", "navbar", "nav", "menu", "widget", "recommend", "masthead",
    "skip", "toolbar", "pagination", "pager", "signup", "outbrain", "caption",
    "credit", "author", "teaser", "date", "copyright", "disclaimer", "paywall", "donat"};

// Of those, the one naming readers' comments.
constexpr std::string_view discussion_word = "comment";

// Whole words only: short words that are prefixes of ordinary ones ("ad" of "address").
constexpr std::array<std::string_view, 5> boilerplate_whole_words = {"ad", "ads", "adv", "tags", "meta"};

constexpr std::array<std::string_view, 8> content_words = {
    "article", "content", "post", "entry", "story", "main", "text", "body"};

// A token holding one of these states a condition of the element ("has-sidebar",
// "no-share", "section--has-ads"), not what it is.
constexpr std::array<std::string_view, 4> state_words = {"has", "no", "with", "is"};

bool is_separator(char c) { return c == '-' || c == '_'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool lower_to_upper(char previous, char current) {
    return std::islower(static_cast<unsigned char>(previous)) &&
           std::isupper(static_cast<unsigned char>(current));
}

// The words of one token, in order.
std::vector<std::string_view> words_of(std::string_view token) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= token.size(); ++at) {
        const bool end = at == token.size() || is_separator(token[at]) ||
                         (at > 0 && lower_to_upper(token[at - 1], token[at]));
        if (!end) continue;
        if (at > start) words.push_back(token.substr(start, at - start));
        start = at < token.size() && is_separator(token[at]) ? at + 1 : at;
    }
    return words;
}

bool starts_with_lower(std::string_view word, std::string_view prefix) {
    if (word.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(word[i])) != prefix[i]) return false;
    }
    return true;
}

template <std::size_t N>
bool starts_with_any(std::string_view word, const std::array<std::string_view, N>& prefixes) {
    for (std::string_view prefix : prefixes) {
        if (starts_with_lower(word, prefix)) return true;
    }
    return false;
}

template <std::size_t N>
bool is_any(std::string_view word, const std::array<std::string_view, N>& whole) {
    for (std::string_view candidate : whole) {
        if (word.size() == candidate.size() && starts_with_lower(word, candidate)) return true;
    }
    return false;
}

bool is_boilerplate_word(std::string_view word) {
    return starts_with_any(word, boilerplate_words) || is_any(word, boilerplate_whole_words);
}

struct TokenHints {
    bool boilerplate = false, discussion = false, content = false, content_named = false;
};

// A boilerplate word at either end of a compound names the element ("post-comments",
// "related-posts", "sidebar-content"). A content word that ends one ("post-content",
// "article") names it too, and wins over another token's boilerplate word ("entry share"):
// the first says what the element is, the second where it sits in the layout.
void read_token(std::string_view token, TokenHints& hints) {
    const std::vector<std::string_view> words = words_of(token);
    if (words.empty()) return;
    for (std::string_view word : words) {
        if (is_any(word, state_words)) return;
    }
    if (is_boilerplate_word(words.front()) || is_boilerplate_word(words.back())) {
        hints.boilerplate = true;
        hints.discussion |= starts_with_lower(words.front(), discussion_word) ||
                            starts_with_lower(words.back(), discussion_word);
        return;
    }
    hints.content_named |= starts_with_any(words.back(), content_words);
    for (std::string_view word : words) hints.content |= starts_with_any(word, content_words);
}

void read_tokens(std::string_view text, TokenHints& hints) {
    std::size_t start = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at < text.size() && !is_space(text[at])) continue;
        if (at > start) read_token(text.substr(start, at - start), hints);
        start = at + 1;
    }
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
    TokenHints hints;
    read_tokens(attribute(element, "id"), hints);
    read_tokens(attribute(element, "class"), hints);
    if (hints.content_named || (hints.content && !hints.boilerplate)) return Hint::content;
    if (hints.discussion) return Hint::discussion;
    return hints.boilerplate ? Hint::boilerplate : Hint::none;
}

}  // namespace velkaron::clean
