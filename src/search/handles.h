#pragma once

#include <gumbo.h>

#include <vector>

#include "document/tree.h"
#include "node/handle_types.h"

namespace velkaron {

// Handles for parser nodes in order, through the tree's cache; null pointers are skipped.
inline NodeList wrap_all(const Tree& tree, const std::vector<GumboNode*>& nodes) {
    NodeList handles;
    handles.reserve(nodes.size());
    for (GumboNode* node : nodes) {
        if (node != nullptr) handles.push_back(tree.wrap_node(node));
    }
    return handles;
}

inline NodeHandle first_or_null(const NodeList& handles) {
    return handles.empty() ? nullptr : handles.front();
}

}  // namespace velkaron
