#include "clean/markdown_syntax.h"

#include <algorithm>
#include <vector>

#include "clean/tag_rules.h"
#include "node/gumbo_access.h"

namespace velkaron::clean {

namespace {

// A link destination: spaces, angle brackets and controls percent-encoded, parentheses and
// backslashes escaped (and pipes, in a table cell), so any URL reads back whole.
void append_destination(std::string& out, std::string_view url, bool pipes) {
    static const char hex[] = "0123456789ABCDEF";
    const auto plain = [pipes](unsigned char u) {
        return u > ' ' && u != '<' && u != '>' && u != 0x7F && u != '(' && u != ')' && u != '\\' &&
               (!pipes || u != '|');
    };
    out.reserve(out.size() + url.size());
    std::size_t i = 0;
    while (i < url.size()) {
        std::size_t end = i;
        while (end < url.size() && plain(static_cast<unsigned char>(url[end]))) ++end;
        out.append(url.substr(i, end - i));
        if (end == url.size()) break;
        const char c = url[end];
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || c == '<' || c == '>' || u == 0x7F) {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += '\\';
            out += c;
        }
        i = end + 1;
    }
}

}  // namespace

std::size_t longest_run(std::string_view text, char c) {
    std::size_t longest = 0, current = 0;
    for (char x : text) {
        current = x == c ? current + 1 : 0;
        longest = std::max(longest, current);
    }
    return longest;
}

std::string link_tail(std::string_view url, const char* title, bool pipes) {
    std::string tail = "](";
    append_destination(tail, url, pipes);
    if (title != nullptr && *title != '\0') {
        tail += " \"";
        for (const char* c = title; *c != '\0'; ++c) {
            if (*c == '"' || *c == '\\' || (pipes && *c == '|')) tail += '\\';
            tail += (*c == '\n' || *c == '\r') ? ' ' : *c;
        }
        tail += '"';
    }
    tail += ')';
    return tail;
}

std::string code_language(const GumboNode* pre) {
    std::vector<const GumboNode*> candidates{pre};
    const GumboVector& children = pre->v.element.children;
    if (children.length > 0 && is_element_node(child_at(&children, 0))) {
        candidates.push_back(child_at(&children, 0));
    }
    for (const GumboNode* up = pre->parent; up != nullptr && candidates.size() < 4; up = up->parent) {
        if (is_element_node(up)) candidates.push_back(up);
    }
    for (const GumboNode* element : candidates) {
        const char* classes = attribute_value(element, "class");
        if (classes == nullptr) continue;
        std::string_view rest(classes);
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find_first_of(" \t\n\f\r"), rest.size());
            const std::string_view token = rest.substr(0, end);
            for (std::string_view prefix : {"language-", "lang-", "highlight-"}) {
                if (token.size() > prefix.size() && token.substr(0, prefix.size()) == prefix &&
                    token.find('`') == std::string_view::npos) {
                    return std::string(token.substr(prefix.size()));
                }
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return {};
}

}  // namespace velkaron::clean
