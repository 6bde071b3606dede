// Times the native part of selector queries (compile from the cache, plan, match), without
// making handles, on a file: median and least thread CPU time per query.
//
//   bench_select FILE [SELECTOR...]

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document/tree.h"
#include "select/cache.h"
#include "select/query.h"

namespace {

double cpu_now() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_select FILE [SELECTOR...]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    velkaron::Tree tree(html);
    std::vector<std::string> selectors(argv + 2, argv + argc);
    if (selectors.empty()) selectors = {"p", "a[href^='http']", "ul > li > a", "div a, p a",
                                        "a.reference.internal", "div.highlight pre span", "*"};
    for (const std::string& css : selectors) {
        const auto program = velkaron::select::compiled(css);
        std::size_t count = 0;
        std::vector<double> samples;
        for (int rep = 0; rep < 9; ++rep) {
            const double start = cpu_now();
            int runs = 0;
            do {
                count = velkaron::select::run_query(tree.get_element_index(), nullptr, *program, false).size();
                ++runs;
            } while (cpu_now() - start < 0.01);
            samples.push_back((cpu_now() - start) / runs);
        }
        std::sort(samples.begin(), samples.end());
        std::printf("%-28s %8zu  %9.1f us  (least %.1f us)\n", css.c_str(), count, samples[samples.size() / 2] * 1e6, samples.front() * 1e6);
    }
    return 0;
}
