#pragma once

// Settings and work-splitting rules of the multi-threaded strategies, as pure functions of
// their inputs so that the thresholds can be tested for any hardware thread count.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace velkaron {

struct ParallelConfig {
    std::uint64_t max_threads;
    std::uint64_t min_parallel_nodes = 200;
    std::uint64_t timeout_ms = 5000;
};

struct OptimizedParallelConfig {
    std::uint64_t max_threads;
    std::uint64_t min_parallel_nodes = 2000;
    std::uint64_t chunk_size = 500;
};

// Below this many elements in the subtree, the public parallel methods search on the calling
// thread, and a find looks through this many on it before starting any. Measured with
// native/bench_parallel.cpp (make bench) on 2 idle cores: two threads break even near 20,000
// elements and are 1.5x ahead from 50,000; with the cores shared the break-even moved far
// higher, so the threshold stays well past the idle one.
constexpr std::uint64_t elements_worth_threads = 50000;

// `hardware_threads` is what the platform reports, 0 when it does not know.
ParallelConfig make_parallel_config(unsigned int hardware_threads);
OptimizedParallelConfig make_optimized_parallel_config(unsigned int hardware_threads);

// Number of workers for a subtree of `node_count` nodes; 0 means search on the calling thread.
std::size_t parallel_worker_count(std::size_t node_count, const ParallelConfig& config);

// Number of workers for `match_count` matches; 0 means search on the calling thread.
std::size_t optimized_worker_count(std::size_t match_count, const OptimizedParallelConfig& config);

// `count` items cut into `parts` consecutive slices differing in size by at most one, the
// larger ones first: (offset, length) per slice.
std::vector<std::pair<std::size_t, std::size_t>> split_evenly(std::size_t count, std::size_t parts);

}  // namespace velkaron
