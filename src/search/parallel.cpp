// Parallel search: every node of the subtree is listed in document order, cut into one
// contiguous chunk per worker, and each worker tests its chunk; the handles of the matches are
// made once the workers are done (find_all) or by the worker that found one (find). The calling thread joins the workers in order and redoes the search itself when
// they overrun the time limit.

#include "search/parallel.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "document/element_index.h"
#include "document/tree.h"
#include "node/node.h"
#include "node/tree_walk.h"
#include "search/element_tests.h"
#include "search/handles.h"
#include "search/worker_group.h"

namespace velkaron {

namespace {

using Clock = std::chrono::steady_clock;
using Chunk = std::pair<std::size_t, std::size_t>;

// Every node at and below `start` in document order, entering elements only.
std::vector<GumboNode*> collect_subtree_nodes(GumboNode* start) {
    std::vector<GumboNode*> nodes;
    nodes.reserve(1000);
    walk_preorder(start, 64, is_element_node, [&nodes](GumboNode* node) {
        nodes.push_back(node);
        return false;
    });
    return nodes;
}

bool overran(Clock::time_point started, const ParallelConfig& config) {
    constexpr std::uint64_t ns_per_ms = 1000000;
    // A limit too large to express in signed nanoseconds is never reached.
    if (config.timeout_ms > static_cast<std::uint64_t>(INT64_MAX) / ns_per_ms) return false;
    const std::int64_t elapsed_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started).count();
    return elapsed_ns > static_cast<std::int64_t>(config.timeout_ms * ns_per_ms);
}

// Joins the workers in start order; true when one finished after the time limit, in which
// case the others are told to stop and joined too.
bool join_watching_clock(WorkerGroup& workers, std::atomic<bool>& stop_requested,
                         Clock::time_point started, const ParallelConfig& config) {
    for (std::size_t i = 0; i < workers.size(); ++i) {
        workers.join(i);
        if (overran(started, config)) {
            stop_requested.exchange(true);
            workers.join_all();
            return true;
        }
    }
    return false;
}

template <typename Work>
Clock::time_point start_workers(WorkerGroup& workers, std::size_t count,
                                std::atomic<bool>& stop_requested, Work work) {
    try {
        for (std::size_t i = 0; i < count; ++i) workers.start(work);
    } catch (...) {
        stop_requested.exchange(true);
        workers.join_all();
        throw;
    }
    return Clock::now();
}

template <typename Test>
NodeList fan_out_all(GumboNode* start, const Tree& tree, Test test, const ParallelConfig& config,
                     ParallelRunReport* report) {
    // One thread never gets workers: no need to list the subtree first.
    if (config.max_threads <= 1) return wrap_all(tree, collect_elements(start, 64, test));
    const std::vector<GumboNode*> nodes = collect_subtree_nodes(start);
    const std::size_t worker_count = parallel_worker_count(nodes.size(), config);
    if (worker_count == 0) return wrap_all(tree, collect_elements(start, 64, test));

    const std::vector<Chunk> chunks = split_evenly(nodes.size(), worker_count);
    std::vector<std::vector<GumboNode*>> partial_results(worker_count);
    std::atomic<bool> stop_requested{false};
    std::mutex results_mutex;
    WorkerGroup workers(worker_count);

    // Workers only test; the handles are made afterwards under one lock of the cache, which
    // workers making them one by one would fight over.
    auto work = [&](std::size_t i) {
        std::vector<GumboNode*> local;
        const auto [offset, length] = chunks[i];
        for (std::size_t j = offset; j < offset + length; ++j) {
            if (stop_requested.load()) break;
            if (test(nodes[j])) local.push_back(nodes[j]);
        }
        if (local.empty() || stop_requested.load()) return;
        std::lock_guard<std::mutex> lock(results_mutex);
        partial_results[i] = std::move(local);
    };
    const Clock::time_point started = start_workers(workers, worker_count, stop_requested, work);
    const bool timed_out = join_watching_clock(workers, stop_requested, started, config);
    if (report != nullptr) *report = ParallelRunReport{worker_count, timed_out};
    workers.rethrow_failure();
    if (timed_out) return wrap_all(tree, collect_elements(start, 64, test));

    std::vector<GumboNode*> merged;
    for (const std::vector<GumboNode*>& partial : partial_results) {
        merged.insert(merged.end(), partial.begin(), partial.end());
    }
    return wrap_all(tree, merged);
}

template <typename Test>
NodeHandle fan_out_first(GumboNode* start, const Tree& tree, Test test,
                         const ParallelConfig& config, ParallelRunReport* report) {
    if (config.max_threads <= 1) return tree.wrap_node(first_element(start, 64, test));
    const std::vector<GumboNode*> nodes = collect_subtree_nodes(start);
    const std::size_t worker_count = parallel_worker_count(nodes.size(), config);
    if (worker_count == 0) return tree.wrap_node(first_element(start, 64, test));

    const std::vector<Chunk> chunks = split_evenly(nodes.size(), worker_count);
    // Each worker keeps its chunk's earliest match; a worker stops once an earlier chunk has
    // one, since its own can no longer be the answer. The answer is the earliest match of the
    // earliest chunk that has one, the same on every run.
    std::vector<GumboNode*> chunk_first(worker_count, nullptr);
    std::atomic<std::size_t> earliest_chunk{worker_count};
    std::atomic<bool> stop_requested{false};
    WorkerGroup workers(worker_count);

    auto work = [&](std::size_t i) {
        const auto [offset, length] = chunks[i];
        for (std::size_t j = offset; j < offset + length; ++j) {
            if (stop_requested.load() || earliest_chunk.load() < i) return;
            if (!test(nodes[j])) continue;
            chunk_first[i] = nodes[j];
            std::size_t seen = earliest_chunk.load();
            while (i < seen && !earliest_chunk.compare_exchange_weak(seen, i)) {
            }
            return;
        }
    };
    const Clock::time_point started = start_workers(workers, worker_count, stop_requested, work);
    const bool timed_out = join_watching_clock(workers, stop_requested, started, config);
    if (report != nullptr) *report = ParallelRunReport{worker_count, timed_out};
    workers.rethrow_failure();
    if (timed_out) return tree.wrap_node(first_element(start, 64, test));
    const std::size_t winner = earliest_chunk.load();
    return winner < worker_count ? tree.wrap_node(chunk_first[winner]) : nullptr;
}

// The machine's settings, on one thread when the subtree is too small to pay for more.
ParallelConfig worthwhile_config(const GumboNode* start) {
    ParallelConfig config = make_parallel_config(std::thread::hardware_concurrency());
    if (estimate_subtree_size(start, nodes_worth_threads) < nodes_worth_threads) {
        config.max_threads = 1;
    }
    return config;
}

}  // namespace

bool answer_from_index(const Node& start, const MatchCriteria& criteria, NodeList& out) {
    const Tree* tree = start.owner();
    if (tree == nullptr || start.gumbo() == nullptr || start.gumbo() != tree->root_element()) {
        return false;
    }
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

NodeList parallel_find_all(const Node& start, const MatchCriteria& criteria,
                           const ParallelConfig& config, ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return {};
    switch (query_shape(criteria)) {
        case QueryShape::class_only:
            return fan_out_all(node, *tree, ClassTokenTest{single_value(criteria)}, config,
                               report);
        case QueryShape::id_only: {
            NodeHandle found =
                fan_out_first(node, *tree, IdTest{single_value(criteria)}, config, report);
            return found == nullptr ? NodeList{} : NodeList{found};
        }
        case QueryShape::name_only:
            return fan_out_all(node, *tree, TagTest(criteria.tag_name), config, report);
        default:
            return fan_out_all(node, *tree, StrictCriteriaTest{criteria}, config, report);
    }
}

NodeHandle parallel_find_first(const Node& start, const MatchCriteria& criteria,
                               const ParallelConfig& config, ParallelRunReport* report) {
    if (report != nullptr) *report = ParallelRunReport{};
    GumboNode* node = start.gumbo();
    const Tree* tree = start.owner();
    if (node == nullptr || tree == nullptr) return nullptr;
    if (query_shape(criteria) == QueryShape::id_only) {
        return fan_out_first(node, *tree, IdTest{single_value(criteria)}, config, report);
    }
    return fan_out_first(node, *tree, StrictCriteriaTest{criteria}, config, report);
}

NodeList Node::find_all_parallel(const std::string& tag_name, const AttributeMap& attrs,
                                 bool enable_parallel) const {
    if (!enable_parallel) return find_all(tag_name, attrs);
    const MatchCriteria criteria{tag_name, attrs};
    NodeList indexed;
    if (answer_from_index(*this, criteria, indexed)) return indexed;
    return parallel_find_all(*this, criteria, worthwhile_config(gumbo()));
}

NodeHandle Node::find_parallel(const std::string& tag_name, const AttributeMap& attrs,
                               bool enable_parallel) const {
    if (!enable_parallel) return find(tag_name, attrs);
    return parallel_find_first(*this, MatchCriteria{tag_name, attrs}, worthwhile_config(gumbo()));
}

}  // namespace velkaron
