#pragma once

#include <gumbo.h>

#include <vector>

#include "document/tree.h"
#include "node/handle_types.h"

namespace velkaron {

// Handles for parser nodes in order, through the tree's cache; null pointers are skipped.
inline NodeList wrap_all(const Tree& tree, const std::vector<GumboNode*>& nodes) {
    return tree.wrap_nodes(nodes.size(), [&nodes](std::size_t i) { return nodes[i]; });
}

inline NodeHandle first_or_null(const NodeList& handles) {
    return handles.empty() ? nullptr : handles.front();
}

}  // namespace velkaron
