// The two multi-threaded search strategies with explicit settings, so that other machines'
// thread counts (none, one, sixteen) run here too: their settings and work splitting as pure
// functions, and their answers against an independent walk over the parser's tree, with the
// run report telling whether workers ran. Also built with ThreadSanitizer (make test-tsan).

#include <gumbo.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "document/tree.h"
#include "node/node.h"
#include "search/criteria.h"
#include "search/parallel.h"
#include "search/parallel_config.h"

using namespace velkaron;

namespace {

int failed = 0, passed = 0;
#define CHECK(cond) \
    ((cond) ? (void)++passed : (void)(++failed, std::fprintf(stderr, "line %d: %s\n", __LINE__, #cond)))

using Nodes = std::vector<GumboNode*>;
using Test = std::function<bool(const GumboNode*)>;

// Every node at and below `start` in document order, entering elements only.
Nodes all_nodes(GumboNode* start) {
    Nodes out, pending{start};
    while (!pending.empty()) {
        GumboNode* node = pending.back();
        pending.pop_back();
        out.push_back(node);
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboVector& children = node->v.element.children;
        for (unsigned int i = children.length; i > 0; --i) pending.push_back(static_cast<GumboNode*>(children.data[i - 1]));
    }
    return out;
}

Nodes select(GumboNode* start, const Test& test) {
    Nodes out;
    for (GumboNode* node : all_nodes(start)) if (node->type == GUMBO_NODE_ELEMENT && test(node)) out.push_back(node);
    return out;
}

Test attribute_is(const char* name, std::string value) {
    return [name, value](const GumboNode* n) {
        const GumboAttribute* a = gumbo_get_attribute(&n->v.element.attributes, name);
        return a != nullptr && value == a->value;
    };
}

Test tag_is(GumboTag tag) { return [tag](const GumboNode* n) { return n->v.element.tag == tag; }; }

Nodes parser_nodes(const NodeList& handles) {
    Nodes out;
    for (const NodeHandle& handle : handles) out.push_back(handle->gumbo());
    return out;
}

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// A document whose element with id "s" holds `body`.
struct Page {
    std::unique_ptr<Tree> tree;
    NodeHandle start;
    explicit Page(const std::string& body)
        : tree(std::make_unique<Tree>("<html><head></head><body><div id=\"s\">" + body + "</div></body></html>")),
          start(tree->wrap_node(select(tree->root_element(), attribute_is("id", "s")).front())) {}
    GumboNode* node() const { return start->gumbo(); }
};

MatchCriteria only(const std::string& key, const std::string& value) { return MatchCriteria{"", {{key, value}}}; }

// Settings, work splitting and the subtree estimate, as pure functions of their inputs.
void settings_and_splitting() {
    // hardware threads -> workers of the first strategy, of the optimised one
    const unsigned int table[][3] = {{0, 2, 2}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {5, 5, 4}, {9, 8, 4}, {16, 8, 4}};
    for (const auto& row : table) {
        const ParallelConfig config = make_parallel_config(row[0]);
        const OptimizedParallelConfig optimized = make_optimized_parallel_config(row[0]);
        CHECK(config.max_threads == row[1] && config.min_parallel_nodes == 200 && config.timeout_ms == 5000);
        CHECK(optimized.max_threads == row[2] && optimized.min_parallel_nodes == 2000 && optimized.chunk_size == 500);
        CHECK(parallel_worker_count(199, config) == 0);
        CHECK(parallel_worker_count(200, config) == (row[1] > 1 ? row[1] : 0));
    }
    // matches -> workers with four threads, with two
    const std::size_t matches[][3] = {{500, 0, 0}, {501, 2, 2}, {1000, 2, 2}, {1001, 3, 2}, {1501, 4, 2}, {100000, 4, 2}};
    for (const auto& row : matches) {
        CHECK(optimized_worker_count(row[0], make_optimized_parallel_config(4)) == row[1]);
        CHECK(optimized_worker_count(row[0], make_optimized_parallel_config(2)) == row[2]);
        CHECK(optimized_worker_count(row[0], make_optimized_parallel_config(1)) == 0);
    }
    // Slices: consecutive, covering, at most one apart, the larger first.
    using Slices = std::vector<std::pair<std::size_t, std::size_t>>;
    CHECK(split_evenly(10, 3) == (Slices{{0, 4}, {4, 3}, {7, 3}}));
    CHECK(split_evenly(2, 4) == (Slices{{0, 1}, {1, 1}, {2, 0}, {2, 0}}));
    CHECK(split_evenly(5, 0).empty());
    for (std::size_t count = 0; count <= 300; ++count) {
        for (std::size_t parts = 1; parts <= 9; ++parts) {
            const Slices slices = split_evenly(count, parts);
            std::size_t next = 0;
            for (std::size_t i = 0; i < slices.size(); ++i) {
                CHECK(slices[i].first == next && slices[i].second <= slices[0].second && slices[i].second + 1 >= slices[0].second);
                next += slices[i].second;
            }
            CHECK(slices.size() == parts && next == count);
        }
    }
    // body -> estimate with the usual cap of 2000: the start and ten levels below it
    const std::pair<std::string, std::size_t> estimates[] = {
        {"x" + repeat("<div>x", 15), 21}, {repeat("<b></b>", 1998), 1999}, {repeat("<b></b>", 2999), 2000},
        {repeat("<div>", 9) + repeat("<b></b>", 2500), 2000}, {repeat("<div>", 10) + repeat("<b></b>", 2500), 11},
        {"<template>" + repeat("<b></b>", 50) + "</template>", 2}};
    for (const auto& [body, expected] : estimates) CHECK(estimate_subtree_size(Page(body).node(), 2000) == expected);
    const Page page(repeat("<b></b>", 2999));
    CHECK(estimate_subtree_size(page.node(), 100) == 100 && estimate_subtree_size(page.node(), 5000) == 3000);
    CHECK(estimate_subtree_size(page.tree->root_element()->parent, 2000) == 1);  // the document: not entered
    CHECK(estimate_subtree_size(nullptr, 2000) == 0);
}

// Both sides of each threshold (counted in elements, start included), every thread count:
// complete answers in document order.
void answers_and_workers() {
    for (std::size_t count : {199u, 200u, 401u}) {
        const std::size_t units = (count - 1) / 2;  // a p with its text and a comment each
        const Page page(repeat("<p class=\"x y\">t</p><!--c-->", units) + repeat("<br>", count - 1 - units));
        const Nodes paragraphs = select(page.node(), tag_is(GUMBO_TAG_P));
        const Nodes elements = select(page.node(), [](const GumboNode*) { return true; });
        CHECK(elements.size() == count && paragraphs.size() == units);
        const std::pair<MatchCriteria, const Nodes*> queries[] = {
            {MatchCriteria{"p", {}}, &paragraphs}, {MatchCriteria{"P", {}}, &paragraphs}, {only("class", "y"), &paragraphs},
            {MatchCriteria{"p", {{"class", "x y"}}}, &paragraphs}, {MatchCriteria{}, &elements}};
        for (unsigned int hardware : {0u, 1u, 2u, 16u}) {
            const ParallelConfig config = make_parallel_config(hardware);
            const std::size_t workers = count >= 200 && config.max_threads >= 2 ? config.max_threads : 0;
            for (const auto& [criteria, expected] : queries) {
                ParallelRunReport report;
                CHECK(parser_nodes(parallel_find_all(*page.start, criteria, config, &report)) == *expected);
                CHECK(report.workers == workers && !report.timed_out);
            }
            CHECK(parallel_find_all(*page.start, only("id", "s"), config) == NodeList{page.start});
            CHECK(parallel_find_all(*page.start, only("id", "none"), config).empty());
        }
    }
    // Matches below the tenth level do not count towards the estimate.
    const Page deep(repeat("<div>", 10) + repeat("<p class=\"m\"></p>", 3000));
    ParallelRunReport report;
    CHECK(optimized_parallel_find_all(*deep.start, only("class", "m"), make_optimized_parallel_config(4), &report).size() == 3000);
    CHECK(report.workers == 0);
}

// A find looks through the first threshold's worth of elements on the calling thread; past
// them, workers answer the first match in document order, every run. A time limit of 0 ms is
// always overrun, and the calling thread then answers completely, in document order.
void find_first_and_time_out() {
    std::string body;
    for (int i = 0; i < 599; ++i) body += i % 37 == 5 && i > 300 ? "<p class=\"hit\" id=\"dup\">t</p>" : "<p>t</p>";
    const Page page(body);
    const Nodes hits = select(page.node(), attribute_is("class", "hit"));
    for (unsigned int hardware : {2u, 3u, 16u}) {
        const ParallelConfig config = make_parallel_config(hardware);
        ParallelRunReport report;
        for (int round = 0; round < 20; ++round) {
            for (const MatchCriteria& criteria : {MatchCriteria{"p", {{"class", "hit"}}}, only("id", "dup")}) {
                const NodeHandle found = parallel_find_first(*page.start, criteria, config, &report);
                CHECK(found != nullptr && found->gumbo() == hits.front() && report.workers == config.max_threads);
                CHECK(optimized_parallel_find_first(*page.start, criteria, make_optimized_parallel_config(hardware))->gumbo() == hits.front());
            }
        }
        CHECK(parallel_find_first(*page.start, MatchCriteria{"p", {}}, config, &report)->gumbo() == page.node()->v.element.children.data[0]);
        CHECK(report.workers == 0);  // found while looking first
        CHECK(parallel_find_first(*page.start, only("class", "hit"), make_parallel_config(1))->gumbo() == hits.front());
        const ParallelConfig expired{hardware, 200, 0};
        CHECK(parser_nodes(parallel_find_all(*page.start, MatchCriteria{"p", {{"class", "hit"}}}, expired, &report)) == hits);
        CHECK(report.timed_out && report.workers == hardware);
        CHECK(parallel_find_first(*page.start, only("id", "dup"), expired, &report)->gumbo() == hits.front());
        CHECK(report.timed_out);
    }
}

void start_nodes() {
    const Page page("text<!--c-->" + repeat("<p class=\"a\">t</p>", 1200) + "<template>" + repeat("<p class=\"a\">t</p>", 700) + "</template>");
    const ParallelConfig parallel = make_parallel_config(2);
    const OptimizedParallelConfig optimized = make_optimized_parallel_config(2);
    const Nodes paragraphs = select(page.node(), tag_is(GUMBO_TAG_P));
    ParallelRunReport report;  // template contents are never searched, with or without workers
    CHECK(parser_nodes(parallel_find_all(*page.start, only("class", "a"), parallel, &report)) == paragraphs);
    CHECK(report.workers == 2 && paragraphs.size() == 1200);
    // 1201 elements: past a threshold of 1000 elements, as the estimate's 2403 nodes are.
    CHECK(parser_nodes(optimized_parallel_find_all(*page.start, MatchCriteria{"p", {}}, OptimizedParallelConfig{2, 1000, 500}, &report)) == paragraphs);
    CHECK(report.workers == 2 && parallel_find_all(*page.start, MatchCriteria{}, parallel).front() == page.start);
    const GumboVector& children = page.node()->v.element.children;
    const NodeHandle starts[] = {page.tree->wrap_node(static_cast<GumboNode*>(children.data[0])),
                                 page.tree->wrap_node(static_cast<GumboNode*>(children.data[1])),
                                 page.tree->wrap_node(static_cast<GumboNode*>(children.data[children.length - 1])),
                                 page.tree->wrap_node(page.tree->root_element()->parent),
                                 std::make_shared<Node>(page.node(), nullptr)};  // belongs to no tree
    for (const NodeHandle& start : starts) {
        // Settings that would start workers for a single node find nothing either.
        for (const ParallelConfig& config : {parallel, ParallelConfig{2, 1, 5000}}) {
            for (const MatchCriteria& criteria : {MatchCriteria{}, MatchCriteria{"p", {}}, only("class", "a"), only("id", "s")}) {
                CHECK(parallel_find_all(*start, criteria, config, &report).empty());
                CHECK(report.workers == 0 || config.min_parallel_nodes == 1);
                CHECK(parallel_find_first(*start, criteria, config) == nullptr);
                CHECK(optimized_parallel_find_all(*start, criteria, OptimizedParallelConfig{2, 1, 1}).empty());
                CHECK(optimized_parallel_find_first(*start, criteria, optimized) == nullptr);
            }
        }
    }
}

}  // namespace

int main() {
    settings_and_splitting();
    answers_and_workers();
    find_first_and_time_out();
    start_nodes();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
