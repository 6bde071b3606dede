#include "node/text.h"

#include "document/element_index.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

template <typename Emit>
void walk_text_pieces(GumboNode* node, Emit&& emit) {
    walk_preorder(node, 64, is_container_node, [&](GumboNode* visited) {
        if (is_text_like_node(visited) && visited->v.text.text != nullptr) {
            emit(std::string_view(visited->v.text.text));
        }
        return false;
    });
}

// The tree's text buffer and the node's position in it when the node is an indexed element;
// a null buffer for every other node (document, text, template, tree-less handles).
struct IndexedText {
    const TextBuffer* buffer = nullptr;
    std::uint32_t position = 0;
};

IndexedText indexed_text(const Tree* tree, const GumboNode* node) {
    const ElementIndex* index = tree != nullptr ? tree->get_element_index() : nullptr;
    if (index == nullptr || !is_element_node(node)) return {};
    const std::uint32_t position = index->position_of(node);
    if (!index->text().has(position)) return {};
    return {&index->text(), position};
}

template <typename Emit>
void for_each_text_piece(const Tree* tree, GumboNode* node, Emit&& emit) {
    const IndexedText indexed = indexed_text(tree, node);
    if (indexed.buffer != nullptr) {
        indexed.buffer->for_each_run(indexed.position, emit);
    } else {
        walk_text_pieces(node, emit);
    }
}

bool is_trimmed_byte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && is_trimmed_byte(s[begin])) ++begin;
    while (end > begin && is_trimmed_byte(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::string text_of(const Tree* tree, GumboNode* node) {
    const IndexedText indexed = indexed_text(tree, node);
    if (indexed.buffer != nullptr) return std::string(indexed.buffer->text(indexed.position));
    std::string text;
    walk_text_pieces(node, [&text](std::string_view piece) { text += piece; });
    return text;
}

std::string joined_text(const Tree* tree, GumboNode* node, const std::string& separator) {
    std::string joined;
    bool first = true;
    for_each_text_piece(tree, node, [&](std::string_view piece) {
        if (!first) joined += separator;
        joined += piece;
        first = false;
    });
    return joined;
}

}  // namespace

std::string trim_whitespace(const std::string& s) { return std::string(trimmed(s)); }

std::string Node::get_text() const { return text_of(owner(), gumbo()); }

std::string Node::get_text_with_separator(const std::string& separator) const {
    return joined_text(owner(), gumbo(), separator);
}

std::string Node::get_text_stripped() const {
    const IndexedText indexed = indexed_text(owner(), gumbo());
    if (indexed.buffer != nullptr) return std::string(trimmed(indexed.buffer->text(indexed.position)));
    return trim_whitespace(get_text());
}

std::string Node::get_text_with_separator_stripped(const std::string& separator) const {
    return trim_whitespace(get_text_with_separator(separator));
}

std::vector<std::string> Node::get_strings() const {
    std::vector<std::string> pieces;
    for_each_text_piece(owner(), gumbo(), [&pieces](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

std::vector<std::string> Node::get_stripped_strings() const {
    std::vector<std::string> stripped;
    for_each_text_piece(owner(), gumbo(), [&stripped](std::string_view piece) {
        const std::string_view kept = trimmed(piece);
        if (!kept.empty()) stripped.emplace_back(kept);
    });
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
