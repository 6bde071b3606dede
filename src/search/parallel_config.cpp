#include "search/parallel_config.h"

#include <algorithm>

namespace velkaron {

namespace {

std::uint64_t capped_threads(unsigned int hardware_threads, std::uint64_t cap) {
    if (hardware_threads == 0) return 2;
    return std::min<std::uint64_t>(hardware_threads, cap);
}

}  // namespace

ParallelConfig make_parallel_config(unsigned int hardware_threads) {
    return ParallelConfig{capped_threads(hardware_threads, 8)};
}

OptimizedParallelConfig make_optimized_parallel_config(unsigned int hardware_threads) {
    return OptimizedParallelConfig{capped_threads(hardware_threads, 4)};
}

std::size_t parallel_worker_count(std::size_t node_count, const ParallelConfig& config) {
    if (node_count < config.min_parallel_nodes || config.max_threads <= 1) return 0;
    return static_cast<std::size_t>(config.max_threads);
}

std::size_t optimized_worker_count(std::size_t match_count,
                                   const OptimizedParallelConfig& config) {
    if (match_count < config.min_parallel_nodes / 4 || config.chunk_size == 0) return 0;
    const std::uint64_t started_chunks =
        (match_count + config.chunk_size - 1) / config.chunk_size;
    const std::uint64_t workers = std::min(config.max_threads, started_chunks);
    return workers <= 1 ? 0 : static_cast<std::size_t>(workers);
}

std::vector<std::pair<std::size_t, std::size_t>> split_evenly(std::size_t count,
                                                              std::size_t parts) {
    std::vector<std::pair<std::size_t, std::size_t>> slices;
    if (parts == 0) return slices;
    slices.reserve(parts);
    const std::size_t base = count / parts;
    const std::size_t larger = count % parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < parts; ++i) {
        const std::size_t length = base + (i < larger ? 1 : 0);
        slices.emplace_back(offset, length);
        offset += length;
    }
    return slices;
}

}  // namespace velkaron
