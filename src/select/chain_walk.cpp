#include "select/chain_walk.h"

#include <algorithm>

#include "select/index_source.h"
#include "select/matcher.h"

namespace velkaron::select {

namespace {

constexpr std::size_t most_compounds = 64;  // one bit each

// Testing a candidate, which also looks at its ancestors, costs about as much as reading two
// elements in the walk (measured on generated and real pages).
constexpr std::uint64_t elements_per_candidate = 2;

bool has_has(const SelectorList& list);

bool compound_has_has(const Compound& compound) {
    return std::any_of(compound.simples.begin(), compound.simples.end(), [](const Simple& simple) {
        return simple.kind == SimpleKind::has || (simple.nested && has_has(*simple.nested));
    });
}

bool has_has(const SelectorList& list) {
    for (const Complex& complex : list.selectors) {
        if (std::any_of(complex.compounds.begin(), complex.compounds.end(), compound_has_has)) return true;
    }
    return false;
}

bool is_chain(const Complex& complex) {
    if (complex.compounds.size() < 2) return false;
    for (std::size_t i = 0; i + 1 < complex.compounds.size(); ++i) {
        const Combinator combinator = complex.compounds[i].combinator;
        if (combinator != Combinator::descendant && combinator != Combinator::child) return false;
    }
    return true;
}

bool all_chains(const SelectorList& list) {
    std::size_t count = 0;
    for (const Complex& complex : list.selectors) {
        if (!is_chain(complex)) return false;
        count += complex.compounds.size();
    }
    return count <= most_compounds && !has_has(list);
}

GumboTag required_tag(const Compound& compound) {
    const bool tagged = !compound.simples.empty() && compound.simples.front().kind == SimpleKind::tag;
    return tagged ? compound.simples.front().tag : GUMBO_TAG_LAST;
}

}  // namespace

std::optional<ChainWalk> ChainWalk::plan(const ElementIndex& index, Matcher& matcher,
                                         const SelectorList& list, std::uint64_t candidates) {
    if (!all_chains(list)) return std::nullopt;
    ChainWalk walk(index, matcher);
    walk.number_compounds(list);
    if (!walk.find_tops(list, candidates)) return std::nullopt;
    return walk;
}

void ChainWalk::number_compounds(const SelectorList& list) {
    for (const Complex& complex : list.selectors) {
        const std::size_t first = compounds.size();
        for (const Compound& compound : complex.compounds) {
            const std::uint64_t bit = std::uint64_t{1} << compounds.size();
            if (compound.combinator == Combinator::child) child_links |= bit;
            if (compound.combinator == Combinator::descendant) descendant_links |= bit;
            compounds.push_back(&compound);
            tags.push_back(required_tag(compound));
        }
        rightmost |= std::uint64_t{1} << first;
        leftmost |= std::uint64_t{1} << (compounds.size() - 1);
    }
}

bool ChainWalk::find_tops(const SelectorList& list, std::uint64_t candidates) {
    const std::uint64_t budget = candidates * elements_per_candidate;
    // Per selector, the outermost elements matching its leftmost compound; any one selector's
    // subtrees costing more than the budget settle it.
    const std::vector<GumboNode*>& elements = index.all_elements();
    std::size_t bit = 0;
    for (const Complex& complex : list.selectors) {
        bit += complex.compounds.size();
        const std::uint64_t left = std::uint64_t{1} << (bit - 1);
        const Source source = shortest_source(index, complex.compounds.back());
        // The walk reads every top and more: it pays only when tops are rarer than candidates.
        if (source.simple == nullptr || source.count * 3 > candidates * 2) return false;
        std::uint64_t cost = source.count;
        std::uint32_t covered_end = 0;
        bool over = false;
        for_each_candidate(index, *source.simple, [&](std::uint32_t start) {
            if (over || start < covered_end || matched_of(left, elements[start]) == 0) return;
            covered_end = index.subtree_end(start);
            tops.push_back(Range{start, covered_end});
            cost += covered_end - start;
            over = cost > budget;
        });
        if (over) return false;
    }
    if (list.selectors.size() == 1) return true;
    // Several selectors: the outermost of all their tops, in document order.
    std::sort(tops.begin(), tops.end(), [](const Range& x, const Range& y) { return x.begin < y.begin; });
    std::uint64_t cost = 0;
    std::size_t kept = 0;
    for (const Range& top : tops) {
        if (kept > 0 && top.begin < tops[kept - 1].end) continue;
        tops[kept++] = top;
        cost += top.size();
    }
    tops.resize(kept);
    return cost <= budget;
}

std::uint64_t ChainWalk::matched_of(std::uint64_t todo, const GumboNode* element) {
    std::uint64_t matched = 0;
    for (; todo != 0; todo &= todo - 1) {
        const unsigned int bit = static_cast<unsigned int>(__builtin_ctzll(todo));
        if (tags[bit] != GUMBO_TAG_LAST && element->v.element.tag != tags[bit]) continue;
        if (matcher.compound_matches(*compounds[bit], element)) matched |= std::uint64_t{1} << bit;
    }
    return matched;
}

void ChainWalk::run(std::vector<GumboNode*>& found, bool first_only) {
    struct Open {
        const GumboNode* element;
        std::uint64_t matched;    // compounds the element matched
        std::uint64_t ancestors;  // compounds it or an open ancestor matched
    };
    std::vector<Open> open;
    const std::vector<GumboNode*>& elements = index.all_elements();
    for (const Range& top : tops) {
        // The top matched no compound but leftmost ones: nothing above it matched any.
        const std::uint64_t top_matched = matched_of(leftmost, elements[top.begin]);
        open.assign(1, Open{elements[top.begin], top_matched, top_matched});
        for (std::uint64_t at = top.begin + 1; at < top.end; ++at) {
            GumboNode* element = elements[at];
            while (!open.empty() && open.back().element != element->parent) open.pop_back();
            const std::uint64_t parent_matched = open.empty() ? 0 : open.back().matched;
            const std::uint64_t ancestors = open.empty() ? 0 : open.back().ancestors;
            const std::uint64_t matched = matched_of(ready(parent_matched, ancestors), element);
            if ((matched & rightmost) != 0) {
                found.push_back(element);
                if (first_only) return;
            }
            open.push_back(Open{element, matched, ancestors | matched});
        }
    }
}

}  // namespace velkaron::select
