#include "select/chain_walk.h"

#include <algorithm>

#include "select/index_source.h"
#include "select/matcher.h"

namespace velkaron::select {

namespace {

constexpr std::size_t most_compounds = 64;  // one bit each

// What placing one leftmost candidate costs (its position, its subtree's end), in elements
// read by the walk.
constexpr std::uint64_t start_cost = 8;

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
    return count <= most_compounds;
}

GumboTag required_tag(const Compound& compound) {
    const bool tagged = !compound.simples.empty() && compound.simples.front().kind == SimpleKind::tag;
    return tagged ? compound.simples.front().tag : GUMBO_TAG_LAST;
}

}  // namespace

std::optional<ChainWalk> ChainWalk::plan(const ElementIndex& index, Matcher& matcher,
                                         const SelectorList& list, std::uint64_t budget) {
    if (!all_chains(list)) return std::nullopt;
    ChainWalk walk(index, matcher);
    walk.number_compounds(list);
    if (!walk.find_tops(list, budget)) return std::nullopt;
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

bool ChainWalk::find_tops(const SelectorList& list, std::uint64_t budget) {
    // Elements matching a leftmost compound, by position; the outermost ones become tops.
    std::vector<std::pair<std::uint64_t, GumboNode*>> starts;
    std::uint64_t cost = 0;
    for (const Complex& complex : list.selectors) {
        const Compound& left = complex.compounds.back();
        const Source source = shortest_source(index, left);
        if (source.simple == nullptr) return false;
        cost += source.count * start_cost;
        if (cost > budget) return false;
        for_each_candidate(index, *source.simple, [&](GumboNode* element) {
            const std::uint64_t at = index.position_of(element);
            if (at < index.element_count()) starts.emplace_back(at, element);
        });
    }
    std::sort(starts.begin(), starts.end());
    std::uint64_t covered_end = 0;
    for (const auto& [at, element] : starts) {
        if (at < covered_end) continue;  // walked with an earlier top
        const bool leftmost_match = std::any_of(list.selectors.begin(), list.selectors.end(),
            [&](const Complex& complex) {
                return matcher.compound_matches(complex.compounds.back(), element);
            });
        if (!leftmost_match) continue;
        const Range range = subtree_range(index, element);
        tops.push_back(range);
        covered_end = range.end;
        cost += range.size();
        if (cost > budget) return false;
    }
    return true;
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
        open.clear();
        for (std::uint64_t at = top.begin; at < top.end; ++at) {
            GumboNode* element = elements[at];
            while (!open.empty() && open.back().element != element->parent) open.pop_back();
            const std::uint64_t parent_matched = open.empty() ? 0 : open.back().matched;
            const std::uint64_t ancestors = open.empty() ? 0 : open.back().ancestors;
            std::uint64_t matched = 0;
            for (std::uint64_t todo = ready(parent_matched, ancestors); todo != 0; todo &= todo - 1) {
                const unsigned int bit = static_cast<unsigned int>(__builtin_ctzll(todo));
                if (tags[bit] != GUMBO_TAG_LAST && element->v.element.tag != tags[bit]) continue;
                if (matcher.compound_matches(*compounds[bit], element)) {
                    matched |= std::uint64_t{1} << bit;
                }
            }
            if ((matched & rightmost) != 0) {
                found.push_back(element);
                if (first_only) return;
            }
            open.push_back(Open{element, matched, ancestors | matched});
        }
    }
}

}  // namespace velkaron::select
