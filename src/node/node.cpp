#include "node/node.h"

#include "document/tree.h"

namespace velkaron {

// A handle that belongs to a tree was made by the tree's cache, which counts them.
Node::~Node() {
    if (tree != nullptr) tree->handle_died();
}

NodeHandle Node::handle_for(GumboNode* other) const {
    if (other == nullptr) return nullptr;
    if (tree != nullptr) return tree->wrap_node(other);
    return std::make_shared<Node>(other, nullptr);
}

bool Node::is_root_of_tree() const {
    return node != nullptr && tree != nullptr && node == tree->root_element();
}

std::string Node::test_method() const { return "test_works"; }

}  // namespace velkaron
