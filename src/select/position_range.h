#pragma once

// Document-order position ranges of the element index: an element's descendants are the
// contiguous positions after its own.

#include <gumbo.h>

#include <algorithm>
#include <cstdint>

#include "document/element_index.h"
#include "select/element_access.h"

namespace velkaron::select {

// Positions [begin, end) of the index's element list.
struct Range {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    std::uint64_t size() const { return end > begin ? end - begin : 0; }
    bool contains(std::uint64_t at) const { return at >= begin && at < end; }
};

// Where the subtree of `top` ends: at the next element outside it, or the end of the list.
inline std::uint64_t subtree_end(const ElementIndex& index, const GumboNode* top) {
    const std::uint64_t count = index.element_count();
    for (const GumboNode* up = top; up != nullptr; up = parent_element(up)) {
        if (const GumboNode* after = element_sibling(up, +1)) {
            return std::min<std::uint64_t>(index.position_of(after), count);
        }
    }
    return count;
}

// The positions of `top` and its descendants; empty when `top` is not in the index.
inline Range subtree_range(const ElementIndex& index, const GumboNode* top) {
    const std::uint64_t at = index.position_of(top);
    if (at >= index.element_count()) return Range{};
    return Range{at, subtree_end(index, top)};
}

}  // namespace velkaron::select
