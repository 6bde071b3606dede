#include "document/batch.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "search/worker_group.h"

namespace velkaron {

namespace {

std::size_t worth_starting(const std::vector<std::string_view>& texts, std::size_t threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    std::size_t total = 0;
    for (const std::string_view text : texts) total += text.size();
    return std::min({threads, texts.size(), total / bytes_per_worker + 1});
}

}  // namespace

std::vector<std::unique_ptr<Tree>> parse_all(const std::vector<std::string_view>& texts,
                                             std::size_t threads, const MarkupLimits& limits) {
    std::vector<std::unique_ptr<Tree>> trees(texts.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    // Documents are claimed one at a time, so a long one does not hold up a whole share.
    auto parse_claimed = [&](std::size_t) {
        try {
            for (std::size_t i = next++; i < texts.size() && !failed; i = next++) {
                trees[i] = std::make_unique<Tree>(texts[i], limits);
            }
        } catch (...) {
            failed = true;
            throw;
        }
    };
    const std::size_t count = worth_starting(texts, threads);
    {
        WorkerGroup workers(count > 0 ? count - 1 : 0);
        try {
            for (std::size_t i = 1; i < count; ++i) workers.start(parse_claimed);
        } catch (const std::system_error&) {
            // Fewer threads than asked for: the ones running share the work.
        }
        parse_claimed(0);
        workers.join_all();
        workers.rethrow_failure();
    }
    return trees;
}

}  // namespace velkaron
