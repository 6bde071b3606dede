// The parsed document is immutable: the edit-named methods exist so code written against
// mutable trees keeps running, and each leaves the tree, the handle cache and the indexes
// exactly as they were.

#include "node/node.h"

namespace velkaron {

void Node::decompose() const {}

void Node::clear() const {}

void Node::set_attribute(const std::string&, const std::string&) const {}

void Node::remove_attribute(const std::string&) const {}

NodeHandle Node::extract() const { return handle_for(gumbo()); }

NodeHandle Node::unwrap() const { return extract(); }

void Node::replace_with(NodeHandle) const {}

void Node::append(NodeHandle) const {}

void Node::insert(std::int64_t, NodeHandle) const {}

NodeHandle Node::wrap(NodeHandle wrapper) const {
    return wrapper != nullptr ? wrapper : handle_for(gumbo());
}

}  // namespace velkaron
