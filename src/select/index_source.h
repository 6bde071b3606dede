#pragma once

// The element index's lists a compound's simple selectors name: the elements with a tag, and
// those filed under the hash of an id or a class, each once, in document order. Candidates
// only: the compound, which holds the simple selector, is still tested on each.

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "document/element_index.h"
#include "select/selector.h"

namespace velkaron::select {

constexpr std::size_t no_source = std::numeric_limits<std::size_t>::max();

// The compound's simple selector whose index list is shortest, and that list's length (an
// upper bound for ids and classes); a null selector when the compound names no list.
struct Source {
    const Simple* simple = nullptr;
    std::size_t count = no_source;
};

inline Source shortest_source(const ElementIndex& index, const Compound& compound) {
    Source best;
    for (const Simple& simple : compound.simples) {
        std::size_t count = no_source;
        switch (simple.kind) {
            case SimpleKind::tag: count = index.tag_positions(simple.tag).size(); break;
            case SimpleKind::tag_name:
                count = index.tag_positions(GUMBO_TAG_UNKNOWN).size();
                break;
            case SimpleKind::id: count = index.id_candidate_count(simple.value); break;
            case SimpleKind::class_name: count = index.class_candidate_count(simple.value); break;
            case SimpleKind::never: count = 0; break;
            default: continue;
        }
        if (count < best.count) best = Source{&simple, count};
    }
    return best;
}

// Calls `visit` with the position of each element of the source's list, in document order.
template <typename Visit>
void for_each_candidate(const ElementIndex& index, const Simple& simple, Visit&& visit) {
    switch (simple.kind) {
        case SimpleKind::tag:
        case SimpleKind::tag_name: {
            const GumboTag tag = simple.kind == SimpleKind::tag ? simple.tag : GUMBO_TAG_UNKNOWN;
            for (const std::uint32_t position : index.tag_positions(tag)) visit(position);
            return;
        }
        case SimpleKind::id: return index.for_each_id_candidate(simple.value, visit);
        case SimpleKind::class_name: return index.for_each_class_candidate(simple.value, visit);
        default: return;
    }
}

// Whether two sources name the same index list (`div a, p a` both take the list of a).
inline bool same_list(const Simple& x, const Simple& y) {
    const bool x_tag = x.kind == SimpleKind::tag || x.kind == SimpleKind::tag_name;
    const bool y_tag = y.kind == SimpleKind::tag || y.kind == SimpleKind::tag_name;
    if (x_tag || y_tag) return x_tag && y_tag && x.tag == y.tag;
    return x.kind == y.kind && x.value == y.value;
}

}  // namespace velkaron::select
