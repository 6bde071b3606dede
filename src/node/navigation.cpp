#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

constexpr unsigned int not_found = static_cast<unsigned int>(-1);

// The siblings of a node: its parent's children, when the parent is an element or the document.
const GumboVector* siblings_of(const GumboNode* node) {
    if (node == nullptr) return nullptr;
    return children_of(node->parent);
}

// The parser's recorded position when the child list agrees with it, so a walk along the
// siblings is linear; a scan otherwise.
unsigned int position_among(const GumboVector* siblings, const GumboNode* node) {
    const unsigned int i = index_in_parent(node, *siblings);
    return i < siblings->length ? i : not_found;
}

GumboNode* sibling_at_offset(const GumboNode* node, int offset) {
    const GumboVector* siblings = siblings_of(node);
    if (siblings == nullptr) return nullptr;
    const unsigned int i = position_among(siblings, node);
    if (i == not_found) return nullptr;
    const long target = static_cast<long>(i) + offset;
    if (target < 0 || target >= static_cast<long>(siblings->length)) return nullptr;
    return child_at(siblings, static_cast<unsigned int>(target));
}

GumboNode* last_element_child(const GumboNode* element) {
    const GumboVector* children = children_of(element);
    for (unsigned int i = children->length; i > 0; --i) {
        GumboNode* child = child_at(children, i - 1);
        if (is_element_node(child)) return child;
    }
    return nullptr;
}

}  // namespace

bool Node::is_element() const { return is_element_node(node); }

bool Node::is_text() const { return is_text_like_node(node); }

bool Node::is_document() const { return node != nullptr && node->type == GUMBO_NODE_DOCUMENT; }

NodeHandle Node::get_parent() const {
    return node == nullptr ? nullptr : handle_for(node->parent);
}

NodeList Node::get_children() const {
    NodeList result;
    const GumboVector* children = children_of(node);
    if (children == nullptr) return result;
    result.reserve(children->length);
    for (unsigned int i = 0; i < children->length; ++i) {
        result.push_back(handle_for(child_at(children, i)));
    }
    return result;
}

NodeHandle Node::get_next_sibling() const { return handle_for(sibling_at_offset(node, +1)); }

NodeHandle Node::get_previous_sibling() const { return handle_for(sibling_at_offset(node, -1)); }

NodeHandle Node::get_next_element() const {
    // The next element sibling, else that of the nearest ancestor that has one, stopping
    // below the document node.
    for (const GumboNode* current = node; current != nullptr; current = current->parent) {
        const GumboVector* siblings = siblings_of(current);
        if (siblings == nullptr) return nullptr;
        const unsigned int i = position_among(siblings, current);
        if (i == not_found) return nullptr;
        for (unsigned int j = i + 1; j < siblings->length; ++j) {
            GumboNode* sibling = child_at(siblings, j);
            if (is_element_node(sibling)) return handle_for(sibling);
        }
        if (!is_element_node(current->parent)) return nullptr;
    }
    return nullptr;
}

NodeHandle Node::get_previous_element() const {
    GumboNode* sibling = sibling_at_offset(node, -1);
    while (sibling != nullptr && !is_element_node(sibling)) sibling = sibling_at_offset(sibling, -1);
    if (sibling == nullptr) {
        GumboNode* parent = node == nullptr ? nullptr : node->parent;
        return is_element_node(parent) ? handle_for(parent) : nullptr;
    }
    // The element just before this node in document order: the deepest last element of
    // the previous element sibling.
    GumboNode* current = sibling;
    while (GumboNode* child = last_element_child(current)) current = child;
    return handle_for(current);
}

NodeList Node::get_descendants() const {
    NodeList result;
    walk_preorder(node, 64, is_container_node, [&](GumboNode* visited) {
        if (visited != node) result.push_back(handle_for(visited));
        return false;
    });
    return result;
}

NodeList Node::get_all_descendants_with_text() const {
    NodeList result;
    walk_preorder(node, 64, is_container_node, [&](GumboNode* visited) {
        if (visited != node && is_element_or_text_node(visited)) {
            result.push_back(handle_for(visited));
        }
        return false;
    });
    return result;
}

NodeList Node::get_all_parents() const {
    NodeList result;
    if (node == nullptr) return result;
    for (GumboNode* ancestor = node->parent; ancestor != nullptr; ancestor = ancestor->parent) {
        if (is_element_node(ancestor)) result.push_back(handle_for(ancestor));
    }
    return result;
}

NodeList Node::get_all_next_siblings_including_text() const {
    NodeList result;
    const GumboVector* siblings = siblings_of(node);
    if (siblings == nullptr) return result;
    const unsigned int i = position_among(siblings, node);
    if (i == not_found) return result;
    for (unsigned int j = i + 1; j < siblings->length; ++j) {
        GumboNode* sibling = child_at(siblings, j);
        if (is_element_or_text_node(sibling)) result.push_back(handle_for(sibling));
    }
    return result;
}

NodeList Node::get_all_previous_siblings_including_text() const {
    NodeList result;
    const GumboVector* siblings = siblings_of(node);
    if (siblings == nullptr) return result;
    for (unsigned int j = 0; j < siblings->length; ++j) {
        GumboNode* sibling = child_at(siblings, j);
        if (sibling == node) break;
        if (is_element_or_text_node(sibling)) result.push_back(handle_for(sibling));
    }
    return result;
}

std::uint64_t Node::get_gumbo_node() const { return reinterpret_cast<std::uintptr_t>(node); }

}  // namespace velkaron
