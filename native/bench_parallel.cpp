// The break-even of the parallel strategies: for subtrees of growing element counts, the
// sequential search (one thread) against the chunked parallel one with threads forced on,
// timed by the wall clock and by the process's CPU clock (all threads), medians of
// interleaved repetitions. The queries test every element and match almost none, so the time
// is the search, not the making of handles. The threshold in src/search/parallel_config.h
// is the smallest count from which the parallel search stays ahead on the wall clock.
//
//   bench_parallel [--reps N] [--json]

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "document/tree.h"
#include "node/node.h"
#include "search/criteria.h"
#include "search/parallel.h"
#include "search/parallel_config.h"

using namespace velkaron;

namespace {

double now(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A page whose <main> holds `elements` elements below it, three per item.
std::string page(std::size_t elements) {
    std::string html = "<html><head><title>t</title></head><body><main>";
    for (std::size_t i = 0; i * 3 + 1 < elements; ++i) {
        const std::string n = std::to_string(i);
        html += "<div class=\"item c" + std::to_string(i % 3) + "\" id=\"d" + n + "\"><span class=\"label\">t" + n +
                "</span><a href=\"/p/" + n + "\">l</a></div>";
    }
    return html + "</main></body></html>";
}

template <typename Call>
void time_call(Call&& call, std::vector<double>& walls, std::vector<double>& cpus) {
    const double wall = now(CLOCK_MONOTONIC), cpu = now(CLOCK_PROCESS_CPUTIME_ID);
    call();
    walls.push_back(now(CLOCK_MONOTONIC) - wall);
    cpus.push_back(now(CLOCK_PROCESS_CPUTIME_ID) - cpu);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 41;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) reps = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--json") == 0) json = true;
    }
    const unsigned int hardware = std::thread::hardware_concurrency();
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    const ParallelConfig sequential = make_parallel_config(1);
    const ParallelConfig threads{make_parallel_config(hardware).max_threads, 1, 60000};
    const MatchCriteria all{"a", {{"href", "/p/7"}}};
    const MatchCriteria none{"a", {{"href", "none"}}};
    const std::size_t sizes[] = {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000};
    std::size_t break_even = 0;
    if (!json) {
        std::printf("parallel break-even, %u hardware threads, load %.2f; wall and process CPU, sequential / parallel\n",
                    hardware, load);
        std::printf("%9s %12s %12s %8s %8s %12s %12s %8s\n", "elements", "find_all us", "parallel us", "wall x",
                    "cpu x", "find us", "parallel us", "wall x");
    } else {
        std::printf("{\"hardware_threads\": %u, \"load\": %.2f, \"rows\": [", hardware, load);
    }
    for (std::size_t size : sizes) {
        Tree tree(page(size));
        const NodeHandle main = tree.get_root()->find("main", {});
        std::vector<double> w[4], c[4];
        for (int round = 0; round < reps; ++round) {
            time_call([&] { parallel_find_all(*main, all, sequential); }, w[0], c[0]);
            time_call([&] { parallel_find_all(*main, all, threads); }, w[1], c[1]);
            time_call([&] { parallel_find_first(*main, none, sequential); }, w[2], c[2]);
            time_call([&] { parallel_find_first(*main, none, threads); }, w[3], c[3]);
        }
        double wall[4], cpu[4];
        for (int k = 0; k < 4; ++k) {
            wall[k] = median(w[k]) * 1e6;
            cpu[k] = median(c[k]) * 1e6;
        }
        const bool ahead = wall[1] <= wall[0] && wall[3] <= wall[2];
        if (!ahead) break_even = 0;
        else if (break_even == 0) break_even = size;
        if (!json) {
            std::printf("%9zu %12.1f %12.1f %8.2f %8.2f %12.1f %12.1f %8.2f\n", size, wall[0], wall[1], wall[0] / wall[1],
                        cpu[0] / cpu[1], wall[2], wall[3], wall[2] / wall[3]);
        } else {
            std::printf("%s{\"elements\": %zu, \"find_all_us\": %.1f, \"find_all_parallel_us\": %.1f, "
                        "\"find_all_cpu_us\": %.1f, \"find_all_parallel_cpu_us\": %.1f, \"find_us\": %.1f, "
                        "\"find_parallel_us\": %.1f}",
                        size == sizes[0] ? "" : ", ", size, wall[0], wall[1], cpu[0], cpu[1], wall[2], wall[3]);
        }
    }
    if (!json) {
        if (break_even == 0) std::printf("parallel not steadily ahead on the wall clock at any size");
        else std::printf("parallel ahead on the wall clock from %zu elements on", break_even);
        std::printf(" (threshold in use: %llu)\n", static_cast<unsigned long long>(elements_worth_threads));
    } else {
        std::printf("], \"break_even_elements\": %zu, \"threshold\": %llu}\n", break_even,
                    static_cast<unsigned long long>(elements_worth_threads));
    }
    return 0;
}
