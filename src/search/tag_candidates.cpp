#include "search/tag_candidates.h"

#include <algorithm>

#include "node/gumbo_access.h"

namespace velkaron {

TagCandidates tag_candidates(const Tree& tree, const GumboNode* start, const std::string& tag_name) {
    const ElementIndex* index = tree.get_element_index();
    if (tag_name.empty() || index == nullptr || !index->is_built() || !is_element_node(start)) return {};
    const std::uint32_t at = index->position_of(start);
    if (at == ElementPositions::absent) return {};
    // Positions are filed in document order, so the subtree is one stretch of the list.
    const Ordinals& list = index->tag_positions(tag_name);
    const std::uint32_t* first = std::lower_bound(list.data(), list.data() + list.size(), at);
    const std::uint32_t* last = std::lower_bound(first, list.data() + list.size(), index->subtree_end(at));
    return TagCandidates{index, first, last};
}

}  // namespace velkaron
