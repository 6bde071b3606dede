#include "select/query.h"

#include <algorithm>
#include <cstdint>

#include "document/element_index.h"
#include "node/tree_walk.h"
#include "select/chain_walk.h"
#include "select/element_access.h"
#include "select/index_source.h"
#include "select/matcher.h"
#include "select/position_range.h"

namespace velkaron::select {

namespace {

constexpr std::size_t walk_capacity = 128;

// `*` alone, or a selector list holding it: every element matches.
bool matches_everything(const SelectorList& list) {
    return std::any_of(list.selectors.begin(), list.selectors.end(), [](const Complex& complex) {
        return complex.compounds.size() == 1 && complex.compounds.front().simples.empty();
    });
}

// The index lists the rightmost compounds' candidates come from, one per selector (none when a
// selector names no list), and how many candidates they give.
struct Candidates {
    std::vector<const Simple*> sources;
    std::uint64_t count = 0;
    bool one_list = false;  // every selector takes the same list
};

Candidates candidates_of(const ElementIndex& index, const SelectorList& list) {
    Candidates candidates;
    std::uint64_t first_count = 0;
    for (const Complex& complex : list.selectors) {
        const Source source = shortest_source(index, complex.compounds.front());
        if (source.simple == nullptr) return Candidates{};
        if (candidates.sources.empty()) first_count = source.count;
        candidates.sources.push_back(source.simple);
        candidates.count += source.count;
    }
    const Simple* first = candidates.sources.front();
    candidates.one_list = std::all_of(candidates.sources.begin(), candidates.sources.end(),
                                      [&](const Simple* source) { return same_list(*source, *first); });
    if (candidates.one_list) candidates.count = first_count;
    return candidates;
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
        range = whole ? Range{0, index->element_count()} : descendants_range();
        if (range.size() == 0) return {};
        if (matches_everything(list)) {
            take_every_element();
            return std::move(found);
        }
        const Candidates candidates = candidates_of(*index, list);
        const bool listed = !candidates.sources.empty() && candidates.count < range.size();
        if (by_chain_walk(listed ? candidates.count : range.size())) return std::move(found);
        if (listed) {
            from_index_lists(candidates);
        } else if (whole) {
            for (GumboNode* element : index->all_elements()) {
                if (consider(element)) break;
            }
        } else {
            walk_scope();
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

    Range descendants_range() const {
        Range subtree = subtree_range(*index, scope);
        if (subtree.size() != 0) ++subtree.begin;
        return subtree;
    }

    void take_every_element() {
        const auto& elements = index->all_elements();
        const std::uint64_t end = first_only ? range.begin + 1 : range.end;
        found.assign(elements.begin() + static_cast<std::ptrdiff_t>(range.begin),
                     elements.begin() + static_cast<std::ptrdiff_t>(end));
    }

    // Chains of descendant and child combinators over the whole document, walked top down
    // when that costs less than testing `candidates` elements one by one.
    bool by_chain_walk(std::uint64_t candidates) {
        if (!whole) return false;
        auto walk = ChainWalk::plan(*index, matcher, list, candidates);
        if (!walk) return false;
        walk->run(found, first_only);
        return true;
    }

    void from_index_lists(const Candidates& candidates) {
        const std::vector<GumboNode*>& elements = index->all_elements();
        if (candidates.one_list) {
            bool done = false;
            for_each_candidate(*index, *candidates.sources.front(), [&](std::uint32_t at) {
                if (!done && range.contains(at)) done = consider(elements[at]);
            });
            return;
        }
        // Several lists: their candidates merged into document order, each element once.
        std::vector<std::uint32_t> merged;
        merged.reserve(candidates.count);
        for (const Simple* source : candidates.sources) {
            for_each_candidate(*index, *source, [&](std::uint32_t at) {
                if (range.contains(at)) merged.push_back(at);
            });
        }
        std::sort(merged.begin(), merged.end());
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        for (const std::uint32_t at : merged) {
            if (consider(elements[at])) break;
        }
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
