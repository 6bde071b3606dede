// find_all_parallel_optimized and find_parallel_optimized: the chunked engine both parallel
// strategies share (search/chunked_search.h) with up to four workers, chunk counts from the
// element count and no time limit; and the capped size estimate the engine decides with.

#include <thread>

#include "node/node.h"
#include "search/chunked_search.h"
#include "search/element_tests.h"

namespace velkaron {

namespace {

constexpr std::size_t estimate_depth_limit = 10;

void count_within_depth(const GumboNode* node, std::size_t depth, std::size_t cap,
                        std::size_t& counter) {
    if (node == nullptr || depth > estimate_depth_limit) return;
    ++counter;
    if (!is_element_node(node) || counter >= cap) return;
    const GumboVector& children = node->v.element.children;
    for (unsigned int i = 0; i < children.length && counter < cap; ++i) {
        count_within_depth(child_at(&children, i), depth + 1, cap, counter);
    }
}

std::size_t chunks_for(std::size_t elements, const void* settings) {
    return optimized_worker_count(elements, *static_cast<const OptimizedParallelConfig*>(settings));
}

// No time limit: the calling thread always waits for its workers.
SearchPlan plan_of(const OptimizedParallelConfig& config) {
    return SearchPlan{config.max_threads, config.min_parallel_nodes, UINT64_MAX, &chunks_for, &config};
}

// The machine's settings, with the measured threshold.
OptimizedParallelConfig worthwhile_optimized_config() {
    OptimizedParallelConfig config = make_optimized_parallel_config(std::thread::hardware_concurrency());
    config.min_parallel_nodes = elements_worth_threads;
    return config;
}

}  // namespace

std::size_t estimate_subtree_size(const GumboNode* start, std::size_t cap) {
    std::size_t counter = 0;
    count_within_depth(start, 0, cap, counter);
    return counter;
}

NodeList optimized_parallel_find_all(const Node& start, const MatchCriteria& criteria,
                                     const OptimizedParallelConfig& config,
                                     ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return {};
    if (query_shape(criteria) == QueryShape::name_only) {
        return chunked_find_all(node, *tree, TagTest(criteria.tag_name), plan_of(config), report);
    }
    return chunked_find_all(node, *tree, StrictCriteriaTest{criteria}, plan_of(config), report);
}

NodeHandle optimized_parallel_find_first(const Node& start, const MatchCriteria& criteria,
                                         const OptimizedParallelConfig& config,
                                         ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return nullptr;
    return chunked_find_first(node, *tree, StrictCriteriaTest{criteria}, plan_of(config), report);
}

NodeList Node::find_all_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                           bool enable_parallel) const {
    if (!enable_parallel) return find_all(tag_name, attrs);
    const MatchCriteria criteria{tag_name, attrs};
    NodeList indexed;
    if (answer_from_index(*this, criteria, indexed)) return indexed;
    return optimized_parallel_find_all(*this, criteria, worthwhile_optimized_config());
}

NodeHandle Node::find_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                         bool enable_parallel) const {
    const MatchCriteria criteria{tag_name, attrs};
    if (!enable_parallel || answered_by_index_first(*this, criteria)) return find(tag_name, attrs);
    NodeHandle indexed;
    if (first_from_index(*this, criteria, indexed)) return indexed;
    return optimized_parallel_find_first(*this, criteria, worthwhile_optimized_config());
}

}  // namespace velkaron
