#pragma once

// The element index's lists a compound's simple selectors name: the elements with a tag, an
// id or a class, in document order.

#include <gumbo.h>

#include <cstddef>
#include <limits>

#include "document/element_index.h"
#include "select/selector.h"

namespace velkaron::select {

constexpr std::size_t no_source = std::numeric_limits<std::size_t>::max();

// The compound's simple selector whose index list is shortest, and that list's length; a null
// selector when the compound names no list.
struct Source {
    const Simple* simple = nullptr;
    std::size_t count = no_source;
};

inline Source shortest_source(const ElementIndex& index, const Compound& compound) {
    Source best;
    for (const Simple& simple : compound.simples) {
        std::size_t count = no_source;
        switch (simple.kind) {
            case SimpleKind::tag: count = index.elements_by_tag().at(simple.tag).size(); break;
            case SimpleKind::tag_name:
                count = index.elements_by_tag().at(GUMBO_TAG_UNKNOWN).size();
                break;
            case SimpleKind::id: count = index.count_with_id(simple.value); break;
            case SimpleKind::class_name: count = index.count_with_class(simple.value); break;
            case SimpleKind::never: count = 0; break;
            default: continue;
        }
        if (count < best.count) best = Source{&simple, count};
    }
    return best;
}

// Calls `visit` with each element of the source's list, in document order.
template <typename Visit>
void for_each_candidate(const ElementIndex& index, const Simple& simple, Visit&& visit) {
    switch (simple.kind) {
        case SimpleKind::tag:
        case SimpleKind::tag_name: {
            const GumboTag tag = simple.kind == SimpleKind::tag ? simple.tag : GUMBO_TAG_UNKNOWN;
            for (GumboNode* element : index.elements_by_tag().at(tag)) visit(element);
            return;
        }
        case SimpleKind::id: return index.for_each_with_id(simple.value, visit);
        case SimpleKind::class_name: return index.for_each_with_class(simple.value, visit);
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
