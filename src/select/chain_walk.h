#pragma once

// Selectors whose combinators are all descendant or child (`div.x pre span`, `ul > li > a`,
// `div a, p a`) answered top down: the subtrees of the elements matching a leftmost compound
// are read once in document order, each element learning from its parent which compounds its
// parent and its ancestors matched. No candidate walks up its ancestors, and elements outside
// those subtrees are never read; worth it when the subtrees hold a few times fewer elements
// than the rightmost compounds have candidates.

#include <gumbo.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "document/element_index.h"
#include "select/position_range.h"
#include "select/selector.h"

namespace velkaron::select {

class Matcher;

class ChainWalk {
public:
    // The walk over the whole document, or nothing when a selector of the list is no such
    // chain, has a :has() (costly to test on every element of a subtree), or its leftmost
    // compound names no index list, or when the walk would cost more than testing
    // `candidates` elements one by one.
    static std::optional<ChainWalk> plan(const ElementIndex& index, Matcher& matcher,
                                         const SelectorList& list, std::uint64_t candidates);

    // Appends the matches in document order; only the first when `first_only`.
    void run(std::vector<GumboNode*>& found, bool first_only);

private:
    ChainWalk(const ElementIndex& index, Matcher& matcher) : index(index), matcher(matcher) {}

    // Gives the list's compounds one bit each, selector after selector, rightmost first.
    void number_compounds(const SelectorList& list);
    bool find_tops(const SelectorList& list, std::uint64_t candidates);

    // The compounds ready to be tried on an element: leftmost ones always, any other when the
    // compound to its left matched the parent (child combinator) or an ancestor (descendant).
    std::uint64_t ready(std::uint64_t parent_matched, std::uint64_t ancestors_matched) const {
        return leftmost | (child_links & (parent_matched >> 1)) |
               (descendant_links & (ancestors_matched >> 1));
    }
    // The compounds of `todo` the element matches.
    std::uint64_t matched_of(std::uint64_t todo, const GumboNode* element);

    const ElementIndex& index;
    Matcher& matcher;
    std::vector<const Compound*> compounds;  // by bit
    // Per bit: the tag number the compound requires (tested before the whole compound), or
    // GUMBO_TAG_LAST.
    std::vector<GumboTag> tags;
    std::uint64_t leftmost = 0;
    std::uint64_t rightmost = 0;
    std::uint64_t child_links = 0;
    std::uint64_t descendant_links = 0;
    // The outermost elements matching a leftmost compound: the positions of them and their
    // descendants, in document order.
    std::vector<Range> tops;
};

}  // namespace velkaron::select
