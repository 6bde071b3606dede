#pragma once

// Document-order position ranges of the element index: an element's descendants are the
// contiguous positions after its own.

#include <gumbo.h>

#include <cstdint>

#include "document/element_index.h"

namespace velkaron::select {

// Positions [begin, end) of the index's element list.
struct Range {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    std::uint64_t size() const { return end > begin ? end - begin : 0; }
    bool contains(std::uint64_t at) const { return at >= begin && at < end; }
};

// The positions of `top` and its descendants; empty when `top` is not in the index.
inline Range subtree_range(const ElementIndex& index, const GumboNode* top) {
    const std::uint32_t at = index.position_of(top);
    if (at >= index.element_count()) return Range{};
    return Range{at, index.subtree_end(at)};
}

}  // namespace velkaron::select
