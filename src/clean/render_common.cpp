#include "clean/render_common.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "clean/tag_rules.h"
#include "node/gumbo_access.h"
#include "url/url.h"


namespace velkaron::clean {

void ListCounter::open(const GumboNode* list, bool ordered, bool alternate) {
    long long first = 1;
    const char* start = ordered ? attribute_value(list, "start") : nullptr;
    if (start != nullptr) {
        char* end = nullptr;
        const long long value = std::strtoll(start, &end, 10);
        // Markdown numbers have at most nine digits; larger starts count from 1.
        if (end != start && value >= 0 && value <= 999999999) first = value;
    }
    lists.push_back({ordered, alternate, first, 0});
}

void ListCounter::close() {
    if (!lists.empty()) lists.pop_back();
}

std::string ListCounter::next_marker(const char* bullet) {
    if (!lists.empty()) ++lists.back().items;
    if (lists.empty() || !lists.back().ordered) return bullet;
    List& list = lists.back();
    std::string marker = std::to_string(list.next) + (list.alternate ? ") " : ". ");
    if (list.next < 999999999) ++list.next;
    return marker;
}

std::string input_value(const GumboNode* input) {
    const char* type = attribute_value(input, "type");
    if (type != nullptr) {
        for (const char* unseen : {"hidden", "password", "checkbox", "radio", "file", "image"}) {
            if (strcasecmp(type, unseen) == 0) return {};
        }
    }
    const char* value = attribute_value(input, "value");
    return value != nullptr ? value : "";
}

namespace {

// Every text node below `node`, in document order.
template <typename Visit>
void for_each_text(const GumboNode* node, Visit&& visit) {
    std::vector<const GumboNode*> stack{node};
    while (!stack.empty()) {
        const GumboNode* current = stack.back();
        stack.pop_back();
        if (is_text_like_node(current)) {
            if (current->v.text.text != nullptr) visit(std::string_view(current->v.text.text));
            continue;
        }
        const GumboVector* children = children_of(current);
        if (children == nullptr) continue;
        for (unsigned int i = children->length; i > 0; --i) stack.push_back(child_at(children, i - 1));
    }
}

bool is_blank_byte(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f'; }

}  // namespace

std::string collapsed_text(const GumboNode* node) {
    std::string text;
    for_each_text(node, [&text](std::string_view piece) {
        std::size_t i = 0;
        while (i < piece.size()) {
            std::size_t end = i;
            while (end < piece.size() && !is_blank_byte(piece[end])) ++end;
            text.append(piece.substr(i, end - i));
            if (end == piece.size()) break;
            if (!text.empty() && text.back() != ' ') text += ' ';
            while (end < piece.size() && is_blank_byte(piece[end])) ++end;
            i = end;
        }
    });
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::size_t longest_run_below(const GumboNode* node, char c) {
    std::size_t longest = 0, current = 0;
    for_each_text(node, [&](std::string_view piece) {
        for (const char x : piece) {
            current = x == c ? current + 1 : 0;
            longest = std::max(longest, current);
        }
    });
    return longest;
}

std::string selected_options(const GumboNode* select) {
    std::vector<const GumboNode*> options;
    std::vector<const GumboNode*> stack{select};
    while (!stack.empty()) {
        const GumboNode* current = stack.back();
        stack.pop_back();
        if (is_element_node(current) && current->v.element.tag == GUMBO_TAG_OPTION) {
            options.push_back(current);
            continue;
        }
        const GumboVector* children = children_of(current);
        if (children == nullptr) continue;
        for (unsigned int i = children->length; i > 0; --i) stack.push_back(child_at(children, i - 1));
    }
    std::string shown;
    for (const GumboNode* option : options) {
        if (first_attribute_named(option, "selected") == nullptr) continue;
        if (!shown.empty()) shown += ", ";
        shown += collapsed_text(option);
    }
    if (shown.empty() && !options.empty()) shown = collapsed_text(options.front());
    return shown;
}

bool is_script_url(std::string_view url) {
    std::string scheme;
    for (char c : url) {
        if (scheme.empty() && static_cast<unsigned char>(c) <= ' ') continue;
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c == ':') return scheme == "javascript" || scheme == "vbscript";
        if (scheme.size() == 10) return false;
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return false;
}

std::string link_target(const RenderOptions& options, const char* href) {
    if (href == nullptr) return {};
    if (options.base != nullptr) return options.base->resolve(href);
    return href;
}

}  // namespace velkaron::clean
