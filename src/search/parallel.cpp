// find_all_parallel and find_parallel on the chunked engine both parallel strategies share
// (search/chunked_search.h), and the pieces of that engine that need no template.

#include "search/parallel.h"

#include <thread>

#include "node/node.h"
#include "search/chunked_search.h"
#include "search/element_tests.h"
#include "search/handles.h"
#include "search/tag_candidates.h"

namespace velkaron {

namespace {

std::size_t chunks_for(std::size_t elements, const void* settings) {
    return parallel_worker_count(elements, *static_cast<const ParallelConfig*>(settings));
}

SearchPlan plan_of(const ParallelConfig& config) {
    return SearchPlan{config.max_threads, config.min_parallel_nodes, config.timeout_ms, &chunks_for,
                      &config};
}

// The machine's settings, with the measured threshold.
ParallelConfig worthwhile_config() {
    ParallelConfig config = make_parallel_config(std::thread::hardware_concurrency());
    config.min_parallel_nodes = elements_worth_threads;
    return config;
}

}  // namespace

namespace chunked {

Run indexed_run(const Tree& tree, const GumboNode* start) {
    const ElementIndex* index = tree.get_element_index();
    if (index == nullptr || !index->is_built() || !is_element_node(start)) return {};
    const std::uint32_t at = index->position_of(start);
    if (at == ElementPositions::absent) return {};
    return Run{index, at, index->subtree_end(at)};
}

bool overran(Clock::time_point started, std::uint64_t timeout_ms) {
    constexpr std::uint64_t ns_per_ms = 1000000;
    // A limit too large to express in signed nanoseconds is never reached.
    if (timeout_ms > static_cast<std::uint64_t>(INT64_MAX) / ns_per_ms) return false;
    const std::int64_t elapsed_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started).count();
    return elapsed_ns > static_cast<std::int64_t>(timeout_ms * ns_per_ms);
}

bool stays_on_caller(const GumboNode* start, const SearchPlan& plan) {
    constexpr std::uint64_t estimate_cap = 1024;
    const std::uint64_t cap = std::min(plan.min_elements, estimate_cap);
    return plan.max_threads <= 1 || estimate_subtree_size(start, cap) < cap;
}

}  // namespace chunked

bool answer_from_index(const Node& start, const MatchCriteria& criteria, NodeList& out) {
    const Tree* tree = start.owner();
    if (tree == nullptr || start.gumbo() == nullptr) return false;
    if (query_shape(criteria) == QueryShape::general) {
        const TagCandidates candidates = tag_candidates(*tree, start.gumbo(), criteria.tag_name);
        if (candidates.usable()) out = wrap_all(*tree, candidates.matching(StrictCriteriaTest{criteria}));
        return candidates.usable();
    }
    if (start.gumbo() != tree->root_element()) return false;
    const ElementIndex* index = tree->get_element_index();
    if (index == nullptr || !index->is_built()) return false;
    if (query_shape(criteria) == QueryShape::name_only) {
        // The walk's test: by tag number for a known name; an unknown name matches only
        // elements whose name is empty (those the parser has no number for) when it is empty.
        const TagTest test(criteria.tag_name);
        if (test.tag == GUMBO_TAG_UNKNOWN && !criteria.tag_name.empty()) {
            out.clear();
        } else {
            out = index->handles_for(index->elements_by_tag().at(test.tag));
        }
        return true;
    }
    return false;
}

bool first_from_index(const Node& start, const MatchCriteria& criteria, NodeHandle& out) {
    const Tree* tree = start.owner();
    if (tree == nullptr || query_shape(criteria) != QueryShape::general) return false;
    const TagCandidates candidates = tag_candidates(*tree, start.gumbo(), criteria.tag_name);
    if (candidates.usable()) out = tree->wrap_node(candidates.first_matching(StrictCriteriaTest{criteria}));
    return candidates.usable();
}

bool answered_by_index_first(const Node& start, const MatchCriteria& criteria) {
    const QueryShape shape = query_shape(criteria);
    const Tree* tree = start.owner();
    return tree != nullptr && start.gumbo() != nullptr && start.gumbo() == tree->root_element() &&
           (shape == QueryShape::name_only || shape == QueryShape::id_only);
}

NodeList parallel_find_all(const Node& start, const MatchCriteria& criteria,
                           const ParallelConfig& config, ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return {};
    switch (query_shape(criteria)) {
        case QueryShape::class_only:
            return chunked_find_all(node, *tree, ClassTokenTest{single_value(criteria)}, plan_of(config),
                                    report);
        case QueryShape::id_only: {
            NodeHandle found =
                chunked_find_first(node, *tree, IdTest{single_value(criteria)}, plan_of(config), report);
            return found == nullptr ? NodeList{} : NodeList{found};
        }
        case QueryShape::name_only:
            return chunked_find_all(node, *tree, TagTest(criteria.tag_name), plan_of(config), report);
        default:
            return chunked_find_all(node, *tree, StrictCriteriaTest{criteria}, plan_of(config), report);
    }
}

NodeHandle parallel_find_first(const Node& start, const MatchCriteria& criteria,
                               const ParallelConfig& config, ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return nullptr;
    if (query_shape(criteria) == QueryShape::id_only) {
        return chunked_find_first(node, *tree, IdTest{single_value(criteria)}, plan_of(config), report);
    }
    return chunked_find_first(node, *tree, StrictCriteriaTest{criteria}, plan_of(config), report);
}

NodeList Node::find_all_parallel(const std::string& tag_name, const AttributeMap& attrs,
                                 bool enable_parallel) const {
    if (!enable_parallel) return find_all(tag_name, attrs);
    const MatchCriteria criteria{tag_name, attrs};
    NodeList indexed;
    if (answer_from_index(*this, criteria, indexed)) return indexed;
    return parallel_find_all(*this, criteria, worthwhile_config());
}

NodeHandle Node::find_parallel(const std::string& tag_name, const AttributeMap& attrs,
                               bool enable_parallel) const {
    const MatchCriteria criteria{tag_name, attrs};
    if (!enable_parallel || answered_by_index_first(*this, criteria)) return find(tag_name, attrs);
    NodeHandle indexed;
    if (first_from_index(*this, criteria, indexed)) return indexed;
    return parallel_find_first(*this, criteria, worthwhile_config());
}

}  // namespace velkaron
