// Stress driver for the multi-threaded searches and batch parsing, meant to run under
// ThreadSanitizer: a batch is parsed on worker threads, then several threads run parallel
// searches and read text at once over one shared tree and over many trees, with settings that start up to eight workers per search, force the time-out path, and let handles
// expire and be made again while other searches create them. Every answer is checked against
// the sequential search of the same tree.
//
// Usage: stress_parallel [rounds] [threads]   (defaults: 12 rounds, 4 threads)

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "document/batch.h"
#include "document/tree.h"
#include "node/node.h"
#include "search/criteria.h"
#include "search/parallel.h"
#include "search/parallel_config.h"

using namespace velkaron;

namespace {

// A page whose element with id "s" holds `items` entries of mixed kinds; `variant` shifts the
// classes so that the trees of a pool differ.
std::string make_page(int items, int variant) {
    std::string html = "<!DOCTYPE html><html><head><title>t</title></head><body><div id=\"s\">";
    for (int i = 0; i < items; ++i) {
        const int k = (i + variant) % 3;
        html += "<div class=\"item c" + std::to_string(k) + "\" id=\"i" + std::to_string(i % 50) +
                "\" data-k=\"" + std::to_string(i % 5) + "\"><span>text " + std::to_string(i) +
                "</span><!--note--><a href=\"/p/" + std::to_string(i) + "\" title>link</a></div>";
        if (i % 97 == 0) html += "<template><div class=\"item c0\">hidden</div></template>";
    }
    html += "</div></body></html>";
    return html;
}

struct Query {
    MatchCriteria criteria;
    // The same question asked of the sequential search, with its own comparison rule.
    MatchCriteria sequential;
    // Whether the find form (general rule: lower-case name, whole values) finds any of those
    // matches; it has no tag or class shortcut.
    bool find_form_matches;
};

// Queries whose parallel answer equals the sequential search's answer for `sequential`.
const std::vector<Query>& queries() {
    static const std::vector<Query> all = {
        {{"div", {}}, {"div", {}}, true},
        {{"A", {}}, {"a", {}}, false},
        {{"", {{"class", "c1"}}}, {"", {{"class", "c1"}}}, false},
        {{"div", {{"class", "item c2"}}}, {"div", {{"class", "item c2"}}}, true},
        {{"", {{"data-k", "3"}}}, {"", {{"data-k", "3"}}}, true},
        {{"", {}}, {"", {}}, true},
    };
    return all;
}

// The optimised strategy's general path compares whole values, like the sequential general
// search does for queries with a tag name.
const std::vector<Query>& optimized_queries() {
    static const std::vector<Query> all = {
        {{"div", {}}, {"div", {}}, true},
        {{"SPAN", {}}, {"span", {}}, false},
        {{"div", {{"class", "item c0"}}}, {"div", {{"class", "item c0"}}}, true},
        {{"a", {{"title", ""}}}, {"a", {}}, true},
        {{"", {}}, {"", {}}, true},
    };
    return all;
}

struct Target {
    std::unique_ptr<Tree> tree;
    NodeHandle start;
    // Parser nodes of the sequential answers, in document order, per query.
    std::vector<std::vector<GumboNode*>> expected;
    std::vector<std::vector<GumboNode*>> expected_optimized;
};

std::vector<GumboNode*> parser_nodes(const NodeList& handles) {
    std::vector<GumboNode*> out;
    out.reserve(handles.size());
    for (const NodeHandle& handle : handles) out.push_back(handle ? handle->gumbo() : nullptr);
    return out;
}

std::unique_ptr<Target> make_target(int items, int variant) {
    auto target = std::make_unique<Target>();
    target->tree = std::make_unique<Tree>(make_page(items, variant));
    target->start = target->tree->get_root()->find("", {{"id", "s"}});
    if (target->start == nullptr) {
        std::fprintf(stderr, "stress_parallel: the page has no start element\n");
        std::exit(2);
    }
    for (const Query& query : queries()) {
        target->expected.push_back(parser_nodes(target->start->find_all_ultra_fast(
            query.sequential.tag_name, query.sequential.attrs)));
    }
    for (const Query& query : optimized_queries()) {
        target->expected_optimized.push_back(parser_nodes(target->start->find_all_ultra_fast(
            query.sequential.tag_name, query.sequential.attrs)));
    }
    return target;
}

struct Counters {
    std::atomic<long> searches{0};
    std::atomic<long> mismatches{0};
    std::atomic<long> worker_runs{0};
    std::atomic<long> time_outs{0};
};

void expect(bool ok, Counters& counters, const char* what) {
    counters.searches.fetch_add(1);
    if (ok) return;
    if (counters.mismatches.fetch_add(1) < 10) std::fprintf(stderr, "mismatch: %s\n", what);
}

void note(const ParallelRunReport& report, Counters& counters) {
    if (report.workers > 0) counters.worker_runs.fetch_add(1);
    if (report.timed_out) counters.time_outs.fetch_add(1);
}

bool contains(const std::vector<GumboNode*>& nodes, const GumboNode* node) {
    for (const GumboNode* candidate : nodes) {
        if (candidate == node) return true;
    }
    return false;
}

// One pass of every query with every setting over one target. `keep` receives the answers
// when the caller wants their handles to stay alive into the next pass.
void search_target(const Target& target, Counters& counters, std::vector<NodeList>* keep) {
    const ParallelConfig parallel_settings[] = {
        make_parallel_config(2), make_parallel_config(16), ParallelConfig{4, 200, 0}};
    const OptimizedParallelConfig optimized_settings[] = {make_optimized_parallel_config(2),
                                                          make_optimized_parallel_config(16)};
    const Node& start = *target.start;
    // Text of an element below the root: the first such read fills the tree's position table.
    std::size_t string_bytes = 0;
    for (const std::string& piece : start.get_strings()) string_bytes += piece.size();
    expect(start.get_text().size() == string_bytes, counters, "get_text against get_strings");

    for (std::size_t q = 0; q < queries().size(); ++q) {
        const MatchCriteria& criteria = queries()[q].criteria;
        const std::vector<GumboNode*>& expected = target.expected[q];
        for (const ParallelConfig& config : parallel_settings) {
            ParallelRunReport report;
            NodeList found = parallel_find_all(start, criteria, config, &report);
            note(report, counters);
            expect(parser_nodes(found) == expected, counters, "parallel_find_all");
            report = ParallelRunReport{};
            const NodeHandle first = parallel_find_first(start, criteria, config, &report);
            note(report, counters);
            if (!queries()[q].find_form_matches || expected.empty()) {
                expect(first == nullptr, counters, "parallel_find_first without a match");
            } else if (report.timed_out) {
                // Redone on the calling thread: the first match in document order.
                expect(first != nullptr && first->gumbo() == expected.front(), counters,
                       "parallel_find_first after a time-out");
            } else {
                // Some chunk's earliest match.
                expect(first != nullptr && contains(expected, first->gumbo()), counters,
                       "parallel_find_first");
            }
            if (keep != nullptr) keep->push_back(std::move(found));
        }
    }
    // The id path: at most one element, one of those carrying the id.
    const std::vector<GumboNode*> carriers =
        parser_nodes(start.find_all_ultra_fast("", {{"id", "i7"}}));
    for (const ParallelConfig& config : parallel_settings) {
        const NodeList found = parallel_find_all(start, {"", {{"id", "i7"}}}, config);
        expect(found.size() == 1 && contains(carriers, found.front()->gumbo()), counters,
               "parallel id path");
    }

    for (std::size_t q = 0; q < optimized_queries().size(); ++q) {
        const MatchCriteria& criteria = optimized_queries()[q].criteria;
        const std::vector<GumboNode*>& expected = target.expected_optimized[q];
        for (const OptimizedParallelConfig& config : optimized_settings) {
            ParallelRunReport report;
            NodeList found = optimized_parallel_find_all(start, criteria, config, &report);
            note(report, counters);
            expect(parser_nodes(found) == expected, counters, "optimized_parallel_find_all");
            const NodeHandle first = optimized_parallel_find_first(start, criteria, config);
            const bool finds = optimized_queries()[q].find_form_matches && !expected.empty();
            expect(finds ? first != nullptr && first->gumbo() == expected.front() : first == nullptr,
                   counters, "optimized_parallel_find_first");
            if (keep != nullptr) keep->push_back(std::move(found));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 12;
    const int thread_count = argc > 2 ? std::atoi(argv[2]) : 4;
    if (rounds <= 0 || thread_count <= 0) {
        std::fprintf(stderr, "usage: stress_parallel [rounds] [threads]\n");
        return 2;
    }

    // One shared tree, and a pool of smaller trees that every thread visits in turn.
    const std::unique_ptr<Target> shared = make_target(1200, 0);
    std::vector<std::unique_ptr<Target>> pool;
    for (int i = 0; i < 6; ++i) pool.push_back(make_target(300 + 150 * i, i));

    Counters counters;
    // Batch parsing on worker threads: the same trees as parsing one by one, in input order.
    std::vector<std::string> pages;
    for (int i = 0; i < 8; ++i) pages.push_back(make_page(200 + 40 * i, i));
    const std::vector<std::unique_ptr<Tree>> batch =
        parse_all(std::vector<std::string_view>(pages.begin(), pages.end()), thread_count);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        expect(batch[i]->get_root()->get_text() == Tree(pages[i]).get_root()->get_text(), counters,
               "parse_all");
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t]() {
            // Half the threads hold their previous answers, so handles are found alive in the
            // cache by some searches while others let them expire and make them again.
            std::vector<NodeList> held;
            for (int round = 0; round < rounds; ++round) {
                std::vector<NodeList> next;
                std::vector<NodeList>* keep = t % 2 == 0 ? &next : nullptr;
                search_target(*shared, counters, keep);
                search_target(*pool[(t + round) % pool.size()], counters, keep);
                // A tree of the thread's own, parsed, searched and freed while others run.
                if (round % 4 == t % 4) {
                    const std::unique_ptr<Target> own = make_target(400, t + round);
                    search_target(*own, counters, nullptr);
                }
                held = std::move(next);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::printf("stress_parallel: %ld searches checked, %ld with workers, %ld timed out, %ld mismatches\n",
                counters.searches.load(), counters.worker_runs.load(), counters.time_outs.load(),
                counters.mismatches.load());
    if (counters.worker_runs.load() == 0) {
        std::fprintf(stderr, "stress_parallel: no search started workers\n");
        return 1;
    }
    return counters.mismatches.load() == 0 ? 0 : 1;
}
