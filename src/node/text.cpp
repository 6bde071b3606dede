#include "node/text.h"

#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

template <typename Emit>
void for_each_text_piece(GumboNode* node, Emit&& emit) {
    walk_preorder(node, 64, is_container_node, [&](GumboNode* visited) {
        if (is_text_like_node(visited) && visited->v.text.text != nullptr) {
            emit(visited->v.text.text);
        }
        return false;
    });
}

bool is_trimmed_byte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string join(const std::vector<std::string>& pieces, const std::string& separator) {
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) joined += separator;
        joined += pieces[i];
    }
    return joined;
}

}  // namespace

void collect_text(GumboNode* node, std::string& out) {
    for_each_text_piece(node, [&out](const char* text) { out += text; });
}

void collect_strings(GumboNode* node, std::vector<std::string>& out) {
    for_each_text_piece(node, [&out](const char* text) { out.emplace_back(text); });
}

std::string trim_whitespace(const std::string& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && is_trimmed_byte(s[begin])) ++begin;
    while (end > begin && is_trimmed_byte(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::string Node::get_text() const {
    std::string text;
    collect_text(gumbo(), text);
    return text;
}

std::string Node::get_text_with_separator(const std::string& separator) const {
    return join(get_strings(), separator);
}

std::string Node::get_text_stripped() const { return trim_whitespace(get_text()); }

std::string Node::get_text_with_separator_stripped(const std::string& separator) const {
    return trim_whitespace(get_text_with_separator(separator));
}

std::vector<std::string> Node::get_strings() const {
    std::vector<std::string> pieces;
    collect_strings(gumbo(), pieces);
    return pieces;
}

std::vector<std::string> Node::get_stripped_strings() const {
    std::vector<std::string> pieces = get_strings();
    std::vector<std::string> stripped;
    stripped.reserve(pieces.size());
    for (const std::string& piece : pieces) {
        std::string trimmed = trim_whitespace(piece);
        if (!trimmed.empty()) stripped.push_back(std::move(trimmed));
    }
    return stripped;
}

std::string Node::get_direct_text() const {
    std::string text;
    const GumboVector* children = children_of(gumbo());
    if (children == nullptr) return text;
    for (unsigned int i = 0; i < children->length; ++i) {
        const GumboNode* child = child_at(children, i);
        if (is_text_like_node(child) && child->v.text.text != nullptr) text += child->v.text.text;
    }
    return text;
}

}  // namespace velkaron
