// Optimised parallel search: a capped size estimate decides whether threads are worth
// starting, the calling thread selects the matches, and the workers re-check their share of
// the matches and make the handles. Each worker owns its chunk and its result slot, so the
// search needs no lock, no stop flag and no time limit of its own.

#include <thread>

#include "document/tree.h"
#include "node/node.h"
#include "node/tree_walk.h"
#include "search/element_tests.h"
#include "search/handles.h"
#include "search/parallel.h"
#include "search/worker_group.h"

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

template <typename Test>
NodeList optimized_fan_out(GumboNode* start, const Tree& tree, Test test,
                           const OptimizedParallelConfig& config, ParallelRunReport* report) {
    auto sequential = [&]() {
        NodeList handles;
        handles.reserve(100);
        walk_elements(start, 64, [&](GumboNode* element) {
            if (test(element)) handles.push_back(tree.wrap_node(element));
            return false;
        });
        return handles;
    };
    if (config.max_threads <= 1 ||
        estimate_subtree_size(start, config.min_parallel_nodes) < config.min_parallel_nodes) {
        return sequential();
    }
    std::vector<GumboNode*> matches = collect_elements(start, 64, test);
    const std::size_t worker_count = optimized_worker_count(matches.size(), config);
    if (worker_count == 0) return sequential();

    std::vector<NodeList> partial_results(worker_count);
    {
        WorkerGroup workers(worker_count);
        for (const auto& [offset, length] : split_evenly(matches.size(), worker_count)) {
            std::vector<GumboNode*> chunk(matches.begin() + offset,
                                          matches.begin() + offset + length);
            workers.start([&tree, &test, &partial_results, chunk = std::move(chunk)](std::size_t i) {
                NodeList& slot = partial_results[i];
                slot.clear();
                slot.reserve(chunk.size());
                for (GumboNode* element : chunk) {
                    if (test(element)) slot.push_back(tree.wrap_node(element));
                }
            });
        }
        workers.join_all();
        workers.rethrow_failure();
    }
    if (report != nullptr) *report = ParallelRunReport{worker_count, false};

    std::size_t total = 0;
    for (const NodeList& slot : partial_results) total += slot.size();
    NodeList merged;
    merged.reserve(total);
    for (NodeList& slot : partial_results) {
        merged.insert(merged.end(), std::make_move_iterator(slot.begin()),
                      std::make_move_iterator(slot.end()));
    }
    return merged;
}

// The machine's settings, on one thread when the subtree is too small to pay for more.
OptimizedParallelConfig worthwhile_optimized_config(const GumboNode* start) {
    OptimizedParallelConfig config =
        make_optimized_parallel_config(std::thread::hardware_concurrency());
    if (estimate_subtree_size(start, nodes_worth_threads) < nodes_worth_threads) {
        config.max_threads = 1;
    }
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
        return optimized_fan_out(node, *tree, TagTest(criteria.tag_name), config, report);
    }
    return optimized_fan_out(node, *tree, StrictCriteriaTest{criteria}, config, report);
}

NodeHandle optimized_parallel_find_first(const Node& start, const MatchCriteria& criteria,
                                         const OptimizedParallelConfig& config,
                                         ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return nullptr;
    return first_or_null(
        optimized_fan_out(node, *tree, StrictCriteriaTest{criteria}, config, report));
}

NodeList Node::find_all_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                           bool enable_parallel) const {
    if (!enable_parallel) return find_all(tag_name, attrs);
    const MatchCriteria criteria{tag_name, attrs};
    NodeList indexed;
    if (answer_from_index(*this, criteria, indexed)) return indexed;
    return optimized_parallel_find_all(*this, criteria, worthwhile_optimized_config(gumbo()));
}

NodeHandle Node::find_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                         bool enable_parallel) const {
    if (!enable_parallel) return find(tag_name, attrs);
    return optimized_parallel_find_first(*this, MatchCriteria{tag_name, attrs},
                                         worthwhile_optimized_config(gumbo()));
}

}  // namespace velkaron
