#include "select/query.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "document/element_index.h"
#include "node/tree_walk.h"
#include "select/element_access.h"
#include "select/matcher.h"

namespace velkaron::select {

namespace {

constexpr std::size_t walk_capacity = 128;
constexpr std::size_t no_source = std::numeric_limits<std::size_t>::max();

// The rightmost compound's simple selector whose index list is shortest, and that length.
struct Source {
    const Simple* simple = nullptr;
    std::size_t count = no_source;
};

Source shortest_source(const ElementIndex& index, const Complex& complex) {
    Source best;
    for (const Simple& simple : complex.compounds.front().simples) {
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
bool same_list(const Simple& x, const Simple& y) {
    const bool x_tag = x.kind == SimpleKind::tag || x.kind == SimpleKind::tag_name;
    const bool y_tag = y.kind == SimpleKind::tag || y.kind == SimpleKind::tag_name;
    if (x_tag || y_tag) return x_tag && y_tag && x.tag == y.tag;
    return x.kind == y.kind && x.value == y.value;
}

// Positions [begin, end) of the elements strictly inside `scope`: descendants are contiguous
// in document order, ending where the next element outside the subtree starts.
struct Range {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

Range descendants_range(const ElementIndex& index, const GumboNode* scope) {
    const std::uint64_t count = index.element_count();
    const std::uint64_t at = index.position_of(scope);
    if (at >= count) return Range{};
    return Range{at + 1, index.subtree_end(static_cast<std::uint32_t>(at))};
}

class Query {
public:
    Query(const ElementIndex* index, GumboNode* scope, const SelectorList& list, bool first_only)
        : index(index != nullptr && index->is_built() ? index : nullptr),
          whole(scope == nullptr || scope->type == GUMBO_NODE_DOCUMENT),
          scope(scope),
          list(list),
          first_only(first_only),
          matcher(whole ? nullptr : scope) {}

    std::vector<GumboNode*> run() {
        if (index == nullptr) {
            if (!whole) walk_scope();
            return std::move(found);
        }
        range = whole ? Range{0, index->element_count()} : descendants_range(*index, scope);
        if (range.end <= range.begin) return {};
        if (!from_index_lists()) {
            if (whole) {
                for (GumboNode* element : index->all_elements()) {
                    if (consider(element)) break;
                }
            } else {
                walk_scope();
            }
        }
        return std::move(found);
    }

private:
    // True when the element ends the query (the first match is all that was asked).
    bool consider(GumboNode* element) {
        if (!matcher.matches(list, element)) return false;
        found.push_back(element);
        return first_only;
    }

    void walk_scope() {
        walk_elements(scope, walk_capacity, [&](GumboNode* element) {
            return element != scope && consider(element);
        });
    }

    bool in_range(const GumboNode* element) const {
        if (whole) return true;
        const std::uint64_t at = index->position_of(element);
        return at >= range.begin && at < range.end;
    }

    // Candidates from the index lists when every selector of the list has one and together
    // they are fewer than the scope's elements; false when the scope must be scanned.
    bool from_index_lists() {
        std::vector<const Simple*> sources;
        std::size_t total = 0;
        for (const Complex& complex : list.selectors) {
            const Source source = shortest_source(*index, complex);
            if (source.simple == nullptr) return false;
            sources.push_back(source.simple);
            total += source.count;
        }
        const bool one_list = std::all_of(sources.begin(), sources.end(), [&](const Simple* source) {
            return same_list(*source, *sources.front());
        });
        if (one_list) total = shortest_source(*index, list.selectors.front()).count;
        if (total >= range.end - range.begin) return false;
        if (one_list) {
            bool done = false;
            for_each_candidate(*index, *sources.front(), [&](GumboNode* element) {
                if (!done && in_range(element)) done = consider(element);
            });
            return true;
        }
        // Several selectors: their candidates merged into document order, each element once.
        std::vector<std::pair<std::uint64_t, GumboNode*>> merged;
        merged.reserve(total);
        for (const Simple* source : sources) {
            for_each_candidate(*index, *source, [&](GumboNode* element) {
                const std::uint64_t at = index->position_of(element);
                if (at >= range.begin && at < range.end) merged.emplace_back(at, element);
            });
        }
        std::sort(merged.begin(), merged.end());
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        for (const auto& candidate : merged) {
            if (consider(candidate.second)) break;
        }
        return true;
    }

    const ElementIndex* index;
    const bool whole;
    GumboNode* scope;
    const SelectorList& list;
    const bool first_only;
    Matcher matcher;
    Range range;
    std::vector<GumboNode*> found;
};

}  // namespace

std::vector<GumboNode*> run_query(const ElementIndex* index, GumboNode* scope,
                                  const SelectorList& list, bool first_only) {
    return Query(index, scope, list, first_only).run();
}

}  // namespace velkaron::select
