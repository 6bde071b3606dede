#pragma once

// Searches with a tag name and attributes take their candidates from the element index's list
// for that tag, cut to the start's subtree, instead of walking the subtree. The index holds
// every element the walk visits, in the walk's order, except template contents: a start it
// does not hold (inside a template, a template, the document, a tree without index) walks.

#include <gumbo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "document/element_index.h"
#include "document/tree.h"
#include "node/tree_walk.h"

namespace velkaron {

// The elements named exactly `tag_name` at and below the start, by position; unusable when
// the walk must answer. Callers' tests still compare the name, so the list only narrows.
struct TagCandidates {
    const ElementIndex* index = nullptr;
    const std::uint32_t* first = nullptr;
    const std::uint32_t* last = nullptr;

    bool usable() const { return index != nullptr; }

    // Those that pass `test`, in document order.
    template <typename Test>
    std::vector<GumboNode*> matching(Test&& test) const {
        std::vector<GumboNode*> matches;
        for (const std::uint32_t* at = first; at != last; ++at) {
            if (test(index->all_elements()[*at])) matches.push_back(index->all_elements()[*at]);
        }
        return matches;
    }

    // The first that passes `test`, or null.
    template <typename Test>
    GumboNode* first_matching(Test&& test) const {
        for (const std::uint32_t* at = first; at != last; ++at) {
            if (test(index->all_elements()[*at])) return index->all_elements()[*at];
        }
        return nullptr;
    }
};

// Unusable for the empty name: the index files every unknown element under it.
TagCandidates tag_candidates(const Tree& tree, const GumboNode* start, const std::string& tag_name);

// Every element at and below `start` named `tag_name` that passes `test`, in document order.
template <typename Test>
std::vector<GumboNode*> collect_tagged(const Tree& tree, GumboNode* start, const std::string& tag_name,
                                       std::size_t walk_capacity, Test&& test) {
    const TagCandidates candidates = tag_candidates(tree, start, tag_name);
    return candidates.usable() ? candidates.matching(test) : collect_elements(start, walk_capacity, test);
}

// The first of them, or null.
template <typename Test>
GumboNode* first_tagged(const Tree& tree, GumboNode* start, const std::string& tag_name,
                        std::size_t walk_capacity, Test&& test) {
    const TagCandidates candidates = tag_candidates(tree, start, tag_name);
    return candidates.usable() ? candidates.first_matching(test) : first_element(start, walk_capacity, test);
}

}  // namespace velkaron
