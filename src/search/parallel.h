#pragma once

#include <cstddef>

#include "node/handle_types.h"
#include "search/criteria.h"
#include "search/parallel_config.h"

namespace velkaron {

// What a parallel call did, for tests and benchmarks: how many workers it started and
// whether it fell back to the calling thread after the time limit.
struct ParallelRunReport {
    std::size_t workers = 0;
    bool timed_out = false;
};

// The strategies behind find_all_parallel / find_parallel, with the settings passed in.
NodeList parallel_find_all(const Node& start, const MatchCriteria& criteria,
                           const ParallelConfig& config, ParallelRunReport* report = nullptr);
NodeHandle parallel_find_first(const Node& start, const MatchCriteria& criteria,
                               const ParallelConfig& config, ParallelRunReport* report = nullptr);

// The strategies behind find_all_parallel_optimized and find_parallel_optimized; the first
// has a tag-name shortcut, the second always applies the general test.
NodeList optimized_parallel_find_all(const Node& start, const MatchCriteria& criteria,
                                     const OptimizedParallelConfig& config,
                                     ParallelRunReport* report = nullptr);
NodeHandle optimized_parallel_find_first(const Node& start, const MatchCriteria& criteria,
                                         const OptimizedParallelConfig& config,
                                         ParallelRunReport* report = nullptr);

// From the document's root element, a search by tag name only is a list the element index
// already holds; a tag with attributes, from any element the index holds, is tested (the strict
// test) over the tag's list within the subtree. Either puts the handles in `out` and returns
// true, with no walk and no thread; false for any other search or start. (The class index lists
// an element once per repeated token, where the walks list it once, so class searches still walk.)
bool answer_from_index(const Node& start, const MatchCriteria& criteria, NodeList& out);

// As answer_from_index for the first match of a tag with attributes.
bool first_from_index(const Node& start, const MatchCriteria& criteria, NodeHandle& out);

// True when `find` answers the search from the element index without a walk (from the root,
// by tag name or id alone): the first-match strategies hand such searches to it.
bool answered_by_index_first(const Node& start, const MatchCriteria& criteria);

// The number of nodes within `start` and the ten levels below it, reached through elements,
// counted up to `cap`.
std::size_t estimate_subtree_size(const GumboNode* start, std::size_t cap);

}  // namespace velkaron
