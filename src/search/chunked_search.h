#pragma once

// The engine both parallel strategies share: the elements at and below an indexed start are
// one run of positions in the element index, in document order, cut into one contiguous chunk
// per worker, the calling thread searching the first chunk itself. No node list is made;
// workers only read the index and test elements, and the handles are made once they are done.
// A find first looks through as many elements as threads need to pay for themselves, on the
// calling thread, so an early match starts none. Subtrees too small for threads and starts the
// index does not hold (template contents) are searched on the calling thread; a count of the
// subtree's upper levels, capped low, settles the small ones before the index's position
// table is consulted (or filled, on a tree's first search below the root). The calling thread joins the
// workers in order and redoes the search itself when they overrun the time limit.

#include <gumbo.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "document/element_index.h"
#include "document/tree.h"
#include "node/tree_walk.h"
#include "search/handles.h"
#include "search/parallel.h"
#include "search/parallel_config.h"
#include "search/worker_group.h"

namespace velkaron {

// How one call may spread its work.
struct SearchPlan {
    std::uint64_t max_threads;
    // Elements below which the calling thread searches alone.
    std::uint64_t min_elements;
    std::uint64_t timeout_ms;
    // Chunks for a run of that many elements (0 or 1: no threads).
    std::size_t (*chunks_for)(std::size_t elements, const void* settings);
    const void* settings;
};

namespace chunked {

using Clock = std::chrono::steady_clock;

// Positions [begin, end) of the element index.
struct Run {
    const ElementIndex* index = nullptr;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::size_t size() const { return end - begin; }
    GumboNode* at(std::size_t offset) const { return index->all_elements()[begin + offset]; }
};

// The elements at and below `start`; empty when the index does not hold it.
Run indexed_run(const Tree& tree, const GumboNode* start);

bool overran(Clock::time_point started, std::uint64_t timeout_ms);

// True when threads cannot pay: none allowed, or a subtree whose first levels hold fewer
// nodes than the threshold (up to a low cap, so deciding costs little).
bool stays_on_caller(const GumboNode* start, const SearchPlan& plan);

// Runs work(0) on the calling thread and work(1) .. work(count - 1) on workers, all joined
// before it returns; true when they overran the time limit, in which case every chunk was
// told to stop through `stop`. A worker's failure is rethrown here.
template <typename Work>
bool run_chunks(std::size_t count, Work& work, std::atomic<bool>& stop, std::uint64_t timeout_ms) {
    WorkerGroup workers(count - 1);
    auto stop_all = [&] {
        stop.store(true);
        workers.join_all();
    };
    try {
        for (std::size_t i = 1; i < count; ++i) workers.start([&work](std::size_t w) { work(w + 1); });
    } catch (...) {
        stop_all();
        throw;
    }
    const Clock::time_point started = Clock::now();
    try {
        work(0);
    } catch (...) {
        stop_all();
        throw;
    }
    bool timed_out = false;
    for (std::size_t i = 0; i < workers.size() && !timed_out; ++i) {
        workers.join(i);
        timed_out = overran(started, timeout_ms);
    }
    if (timed_out) stop_all();
    workers.rethrow_failure();
    return timed_out;
}

}  // namespace chunked

template <typename Test>
NodeList chunked_find_all(GumboNode* start, const Tree& tree, Test test, const SearchPlan& plan,
                          ParallelRunReport* report) {
    using namespace chunked;
    auto sequential = [&] { return wrap_all(tree, collect_elements(start, 64, test)); };
    if (stays_on_caller(start, plan)) return sequential();
    const Run run = indexed_run(tree, start);
    const std::size_t count = run.size() < plan.min_elements ? 0 : plan.chunks_for(run.size(), plan.settings);
    if (count <= 1) return sequential();

    const auto chunks = split_evenly(run.size(), count);
    std::vector<std::vector<GumboNode*>> partial(count);
    std::atomic<bool> stop{false};
    auto work = [&](std::size_t i) {
        std::vector<GumboNode*>& found = partial[i];
        const auto [offset, length] = chunks[i];
        for (std::size_t j = offset; j < offset + length && !stop.load(std::memory_order_relaxed); ++j) {
            GumboNode* element = run.at(j);
            if (test(element)) found.push_back(element);
        }
    };
    const bool timed_out = run_chunks(count, work, stop, plan.timeout_ms);
    if (report != nullptr) *report = ParallelRunReport{count, timed_out};
    if (timed_out) return sequential();
    std::size_t total = 0;
    for (const auto& found : partial) total += found.size();
    std::vector<GumboNode*> merged;
    merged.reserve(total);
    for (const auto& found : partial) merged.insert(merged.end(), found.begin(), found.end());
    return wrap_all(tree, merged);
}

template <typename Test>
NodeHandle chunked_find_first(GumboNode* start, const Tree& tree, Test test, const SearchPlan& plan,
                              ParallelRunReport* report) {
    using namespace chunked;
    auto sequential = [&] { return tree.wrap_node(first_element(start, 64, test)); };
    if (stays_on_caller(start, plan)) return sequential();
    Run run = indexed_run(tree, start);
    if (run.size() < plan.min_elements) return sequential();
    // The calling thread looks first, as far as threads would need to pay for themselves.
    const std::size_t probe = std::min<std::size_t>(run.size(), plan.min_elements);
    for (std::size_t j = 0; j < probe; ++j) {
        if (test(run.at(j))) return tree.wrap_node(run.at(j));
    }
    run.begin += static_cast<std::uint32_t>(probe);
    const std::size_t count = run.size() < plan.min_elements ? 0 : plan.chunks_for(run.size(), plan.settings);
    if (count <= 1) {
        for (std::size_t j = 0; j < run.size(); ++j) {
            if (test(run.at(j))) return tree.wrap_node(run.at(j));
        }
        return nullptr;
    }

    const auto chunks = split_evenly(run.size(), count);
    // Each chunk keeps its earliest match; a chunk stops once an earlier one has a match, since
    // its own can no longer be the answer. The answer is the earliest match of the earliest
    // chunk that has one: the first in document order, on every run.
    std::vector<GumboNode*> chunk_first(count, nullptr);
    std::atomic<std::size_t> earliest_chunk{count};
    std::atomic<bool> stop{false};
    auto work = [&](std::size_t i) {
        const auto [offset, length] = chunks[i];
        for (std::size_t j = offset; j < offset + length; ++j) {
            if (stop.load(std::memory_order_relaxed) || earliest_chunk.load() < i) return;
            if (!test(run.at(j))) continue;
            chunk_first[i] = run.at(j);
            std::size_t seen = earliest_chunk.load();
            while (i < seen && !earliest_chunk.compare_exchange_weak(seen, i)) {
            }
            return;
        }
    };
    const bool timed_out = run_chunks(count, work, stop, plan.timeout_ms);
    if (report != nullptr) *report = ParallelRunReport{count, timed_out};
    if (timed_out) return sequential();
    const std::size_t winner = earliest_chunk.load();
    return winner < count ? tree.wrap_node(chunk_first[winner]) : nullptr;
}

}  // namespace velkaron
