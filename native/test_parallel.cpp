// Unit tests of the two multi-threaded search strategies: their settings and work splitting as
// pure functions, and their answers on parsed documents with explicit settings, so that worker
// counts of other machines (none, one, sixteen hardware threads) are exercised here too. Each
// answer is checked against an independent walk over the parser's tree, and the run report
// tells whether workers really ran.

#include <gumbo.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "document/tree.h"
#include "node/node.h"
#include "search/criteria.h"
#include "search/parallel.h"
#include "search/parallel_config.h"

using namespace velkaron;

namespace {

int passed = 0;
int failed = 0;

void record(bool ok, const char* file, int line, const std::string& what) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what.c_str());
}

template <typename A, typename B>
std::string describe(const char* a_text, const char* b_text, const A& a, const B& b) {
    std::ostringstream out;
    out << a_text << " == " << b_text << " (" << a << " vs " << b << ")";
    return out.str();
}

#define CHECK(cond) record(static_cast<bool>(cond), __FILE__, __LINE__, #cond)
#define CHECK_EQ(a, b) \
    record((a) == (b), __FILE__, __LINE__, describe(#a, #b, (a), (b)))
#define CHECK_CTX(cond, context) \
    record(static_cast<bool>(cond), __FILE__, __LINE__, std::string(#cond) + " [" + (context) + "]")

// ---------------------------------------------------------------------------------------------
// An independent view of the parser's tree, used as the oracle.

// Every node at and below `start` in document order, entering elements only.
std::vector<GumboNode*> all_nodes(GumboNode* start) {
    std::vector<GumboNode*> out;
    std::vector<GumboNode*> pending{start};
    while (!pending.empty()) {
        GumboNode* node = pending.back();
        pending.pop_back();
        out.push_back(node);
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboVector& children = node->v.element.children;
        for (unsigned int i = children.length; i > 0; --i) {
            pending.push_back(static_cast<GumboNode*>(children.data[i - 1]));
        }
    }
    return out;
}

const char* attribute_value(const GumboNode* node, const char* name) {
    if (node->type != GUMBO_NODE_ELEMENT) return nullptr;
    const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, name);
    return attribute == nullptr ? nullptr : attribute->value;
}

bool is_tag(const GumboNode* node, GumboTag tag) {
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag;
}

bool has_token(const GumboNode* node, const std::string& token) {
    const char* value = attribute_value(node, "class");
    if (value == nullptr || token.empty()) return false;
    const auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const std::string text(value);
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && separator(text[i])) ++i;
        std::size_t end = i;
        while (end < text.size() && !separator(text[end])) ++end;
        if (end > i && text.substr(i, end - i) == token) return true;
        i = end;
    }
    return false;
}

bool attribute_equals(const GumboNode* node, const char* name, const std::string& value) {
    const char* actual = attribute_value(node, name);
    return actual != nullptr && value == actual;
}

std::vector<GumboNode*> select(GumboNode* start, const std::function<bool(const GumboNode*)>& test) {
    std::vector<GumboNode*> out;
    for (GumboNode* node : all_nodes(start)) {
        if (node->type == GUMBO_NODE_ELEMENT && test(node)) out.push_back(node);
    }
    return out;
}

GumboNode* element_with_id(GumboNode* start, const std::string& id) {
    for (GumboNode* node : all_nodes(start)) {
        if (attribute_equals(node, "id", id)) return node;
    }
    return nullptr;
}

std::vector<GumboNode*> parser_nodes(const NodeList& handles) {
    std::vector<GumboNode*> out;
    for (const NodeHandle& handle : handles) out.push_back(handle ? handle->gumbo() : nullptr);
    return out;
}

// The first node of every chunk of a list of `count` nodes cut into `parts` slices, as the
// fan-out cuts it: q or q + 1 nodes each, the larger slices first.
std::vector<std::pair<std::size_t, std::size_t>> expected_chunks(std::size_t count,
                                                                 std::size_t parts) {
    std::vector<std::pair<std::size_t, std::size_t>> chunks;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < parts; ++i) {
        const std::size_t length = count / parts + (i < count % parts ? 1 : 0);
        chunks.emplace_back(offset, length);
        offset += length;
    }
    return chunks;
}

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// A document whose element with id "s" holds `body`; no whitespace is added anywhere.
std::string page(const std::string& body) {
    return "<!DOCTYPE html><html><head></head><body><div id=\"s\">" + body +
           "</div></body></html>";
}

struct Parsed {
    std::unique_ptr<Tree> tree;
    NodeHandle start;  // the element with id "s"
};

Parsed parse_page(const std::string& body) {
    Parsed parsed;
    parsed.tree = std::make_unique<Tree>(page(body));
    parsed.start = parsed.tree->wrap_node(element_with_id(parsed.tree->root_element(), "s"));
    return parsed;
}

MatchCriteria tag_only(const std::string& tag) { return MatchCriteria{tag, {}}; }
MatchCriteria attrs_only(const std::string& key, const std::string& value) {
    return MatchCriteria{"", {{key, value}}};
}

// ---------------------------------------------------------------------------------------------

void test_configs() {
    struct Case {
        unsigned int hardware;
        std::uint64_t parallel_threads;
        std::uint64_t optimized_threads;
    };
    const Case cases[] = {{0, 2, 2}, {1, 1, 1}, {2, 2, 2},  {3, 3, 3},
                          {4, 4, 4}, {5, 5, 4}, {8, 8, 4}, {9, 8, 4}, {16, 8, 4}};
    for (const Case& c : cases) {
        const ParallelConfig config = make_parallel_config(c.hardware);
        CHECK_EQ(config.max_threads, c.parallel_threads);
        CHECK_EQ(config.min_parallel_nodes, 200u);
        CHECK_EQ(config.timeout_ms, 5000u);
        const OptimizedParallelConfig optimized = make_optimized_parallel_config(c.hardware);
        CHECK_EQ(optimized.max_threads, c.optimized_threads);
        CHECK_EQ(optimized.min_parallel_nodes, 2000u);
        CHECK_EQ(optimized.chunk_size, 500u);
    }
}

void test_parallel_worker_count() {
    const ParallelConfig none = make_parallel_config(0);
    const ParallelConfig one = make_parallel_config(1);
    const ParallelConfig two = make_parallel_config(2);
    const ParallelConfig sixteen = make_parallel_config(16);
    CHECK_EQ(parallel_worker_count(0, sixteen), 0u);
    CHECK_EQ(parallel_worker_count(199, sixteen), 0u);
    CHECK_EQ(parallel_worker_count(200, sixteen), 8u);
    CHECK_EQ(parallel_worker_count(100000, sixteen), 8u);
    CHECK_EQ(parallel_worker_count(199, two), 0u);
    CHECK_EQ(parallel_worker_count(200, two), 2u);
    CHECK_EQ(parallel_worker_count(199, none), 0u);
    CHECK_EQ(parallel_worker_count(200, none), 2u);
    CHECK_EQ(parallel_worker_count(200, one), 0u);
    CHECK_EQ(parallel_worker_count(1000000, one), 0u);
}

void test_optimized_worker_count() {
    struct Case {
        std::size_t matches;
        std::size_t with_four;
        std::size_t with_two;
    };
    const Case cases[] = {{0, 0, 0},       {499, 0, 0},     {500, 0, 0},     {501, 2, 2},
                          {1000, 2, 2},    {1001, 3, 2},    {1500, 3, 2},    {1501, 4, 2},
                          {2000, 4, 2},    {100000, 4, 2}};
    const OptimizedParallelConfig four = make_optimized_parallel_config(4);
    const OptimizedParallelConfig two = make_optimized_parallel_config(2);
    const OptimizedParallelConfig one = make_optimized_parallel_config(1);
    const OptimizedParallelConfig sixteen = make_optimized_parallel_config(16);
    for (const Case& c : cases) {
        CHECK_EQ(optimized_worker_count(c.matches, four), c.with_four);
        CHECK_EQ(optimized_worker_count(c.matches, sixteen), c.with_four);
        CHECK_EQ(optimized_worker_count(c.matches, two), c.with_two);
        CHECK_EQ(optimized_worker_count(c.matches, one), 0u);
    }
}

void test_split_evenly() {
    using Slices = std::vector<std::pair<std::size_t, std::size_t>>;
    CHECK(split_evenly(10, 3) == (Slices{{0, 4}, {4, 3}, {7, 3}}));
    CHECK(split_evenly(203, 8) == (Slices{{0, 26}, {26, 26}, {52, 26}, {78, 25}, {103, 25},
                                          {128, 25}, {153, 25}, {178, 25}}));
    CHECK(split_evenly(8, 8) == (Slices{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1},
                                        {7, 1}}));
    CHECK(split_evenly(2, 4) == (Slices{{0, 1}, {1, 1}, {2, 0}, {2, 0}}));
    CHECK(split_evenly(0, 2) == (Slices{{0, 0}, {0, 0}}));
    CHECK(split_evenly(5, 0).empty());

    // Over a range of sizes: consecutive, covering, at most one apart, the larger first.
    bool all_sound = true;
    for (std::size_t count = 0; count <= 300; ++count) {
        for (std::size_t parts = 1; parts <= 9; ++parts) {
            const Slices slices = split_evenly(count, parts);
            if (slices.size() != parts) all_sound = false;
            std::size_t next = 0;
            for (std::size_t i = 0; i < slices.size(); ++i) {
                if (slices[i].first != next) all_sound = false;
                next += slices[i].second;
                if (i > 0 && slices[i].second > slices[i - 1].second) all_sound = false;
                if (slices[i].second + 1 < slices[0].second) all_sound = false;
            }
            if (next != count) all_sound = false;
        }
    }
    CHECK(all_sound);
}

void test_estimate_subtree_size() {
    CHECK_EQ(estimate_subtree_size(nullptr, 2000), 0u);

    // A chain of 15 nested divs, each opening with a text node: within ten levels lie the
    // start, d1..d10 and the texts of the start and of d1..d9.
    {
        std::string body = "x";
        std::string closing;
        for (int i = 0; i < 15; ++i) {
            body += "<div>x";
            closing += "</div>";
        }
        const Parsed parsed = parse_page(body + closing);
        CHECK_EQ(estimate_subtree_size(parsed.start->gumbo(), 2000), 21u);
        CHECK_EQ(estimate_subtree_size(parsed.start->gumbo(), 5), 5u);
        // Started at the text node: counted, not entered.
        GumboNode* text = static_cast<GumboNode*>(parsed.start->gumbo()->v.element.children.data[0]);
        CHECK_EQ(text->type, GUMBO_NODE_TEXT);
        CHECK_EQ(estimate_subtree_size(text, 2000), 1u);
    }
    // The cap: 1999 and 2000 nodes are counted exactly, more stop at the cap.
    {
        const Parsed under = parse_page(repeat("<b></b>", 1998));
        CHECK_EQ(estimate_subtree_size(under.start->gumbo(), 2000), 1999u);
        const Parsed exact = parse_page(repeat("<b></b>", 1999));
        CHECK_EQ(estimate_subtree_size(exact.start->gumbo(), 2000), 2000u);
        const Parsed over = parse_page(repeat("<b></b>", 2999));
        CHECK_EQ(estimate_subtree_size(over.start->gumbo(), 2000), 2000u);
        CHECK_EQ(estimate_subtree_size(over.start->gumbo(), 100), 100u);
        CHECK_EQ(estimate_subtree_size(over.start->gumbo(), 5000), 3000u);
    }
    // The depth limit: a wide layer at depth 10 is counted, one at depth 11 is not.
    for (int nesting : {9, 10}) {
        const Parsed parsed =
            parse_page(repeat("<div>", nesting) + repeat("<b></b>", 2500) + repeat("</div>", nesting));
        const std::size_t expected = nesting == 9 ? 2000u : 11u;
        CHECK_EQ(estimate_subtree_size(parsed.start->gumbo(), 2000), expected);
    }
    // The document node and template elements are counted but never entered.
    {
        const Parsed parsed = parse_page("<template>" + repeat("<b></b>", 50) + "</template>");
        GumboNode* document = parsed.tree->root_element()->parent;
        CHECK_EQ(document->type, GUMBO_NODE_DOCUMENT);
        CHECK_EQ(estimate_subtree_size(document, 2000), 1u);
        GumboNode* templ = static_cast<GumboNode*>(parsed.start->gumbo()->v.element.children.data[0]);
        CHECK_EQ(templ->type, GUMBO_NODE_TEMPLATE);
        CHECK_EQ(estimate_subtree_size(templ, 2000), 1u);
        CHECK_EQ(estimate_subtree_size(parsed.start->gumbo(), 2000), 2u);
    }
}

// The four find_all paths and the find paths of the first strategy, on both sides of the
// 200-node threshold. Each unit is a p element, its text and a comment, so text and comment
// nodes are seen to count.
void test_parallel_thresholds() {
    const std::string unit = "<p class=\"x y\">t</p><!--c-->";
    for (std::size_t nodes : {199u, 200u, 401u}) {
        const std::size_t units = (nodes - 1) / 3;
        const std::string padding = repeat("<br>", nodes - 1 - units * 3);
        const Parsed parsed = parse_page(repeat(unit, units) + padding);
        GumboNode* start = parsed.start->gumbo();
        CHECK_EQ(all_nodes(start).size(), nodes);

        const std::vector<GumboNode*> paragraphs =
            select(start, [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_P); });
        CHECK_EQ(paragraphs.size(), units);
        std::vector<GumboNode*> elements = select(start, [](const GumboNode*) { return true; });

        struct Query {
            const char* name;
            MatchCriteria criteria;
            const std::vector<GumboNode*>* expected;
        };
        const Query queries[] = {
            {"tag", tag_only("p"), &paragraphs},
            {"tag upper case", tag_only("P"), &paragraphs},
            {"class token", attrs_only("class", "y"), &paragraphs},
            {"general whole class", MatchCriteria{"p", {{"class", "x y"}}}, &paragraphs},
            {"general everything", MatchCriteria{}, &elements},
        };
        for (unsigned int hardware : {0u, 1u, 2u, 16u}) {
            const ParallelConfig config = make_parallel_config(hardware);
            const std::size_t expected_workers =
                nodes >= 200 && config.max_threads >= 2 ? config.max_threads : 0;
            for (const Query& query : queries) {
                const std::string context = std::string(query.name) + ", " +
                                            std::to_string(nodes) + " nodes, " +
                                            std::to_string(hardware) + " hardware threads";
                ParallelRunReport report;
                const NodeList found = parallel_find_all(*parsed.start, query.criteria, config, &report);
                CHECK_CTX(parser_nodes(found) == *query.expected, context);
                CHECK_CTX(report.workers == expected_workers, context);
                CHECK_CTX(!report.timed_out, context);
            }
            // The id path answers with at most one element.
            const std::string id_context = std::to_string(nodes) + " nodes";
            ParallelRunReport report;
            CHECK_CTX(parallel_find_all(*parsed.start, attrs_only("id", "s"), config, &report) ==
                          NodeList{parsed.start},
                      id_context);
            CHECK_CTX(report.workers == expected_workers, id_context);
            CHECK_CTX(parallel_find_all(*parsed.start, attrs_only("id", "none"), config).empty(),
                      id_context);
            CHECK_CTX(parallel_find_first(*parsed.start, attrs_only("id", "none"), config) == nullptr,
                      id_context);
        }
    }
}

// The find forms: with workers, the answer is the earliest match of one chunk; below the
// threshold and with one thread, the first match in document order.
void test_parallel_find_first() {
    // 600 nodes: s followed by 599 p elements, every 37th of them a hit.
    std::string body;
    for (int i = 0; i < 599; ++i) {
        body += i % 37 == 5 ? "<p class=\"hit\" id=\"dup\"></p>" : "<p></p>";
    }
    const Parsed parsed = parse_page(body);
    const std::vector<GumboNode*> nodes = all_nodes(parsed.start->gumbo());
    CHECK_EQ(nodes.size(), 600u);
    const std::vector<GumboNode*> hits =
        select(parsed.start->gumbo(), [](const GumboNode* n) { return attribute_equals(n, "class", "hit"); });
    CHECK(hits.size() > 8);

    for (unsigned int hardware : {2u, 3u, 16u}) {
        const ParallelConfig config = make_parallel_config(hardware);
        std::set<GumboNode*> chunk_firsts;
        for (const auto& [offset, length] : expected_chunks(nodes.size(), config.max_threads)) {
            for (std::size_t j = offset; j < offset + length; ++j) {
                if (attribute_equals(nodes[j], "class", "hit")) {
                    chunk_firsts.insert(nodes[j]);
                    break;
                }
            }
        }
        CHECK(chunk_firsts.size() >= 2);
        for (int round = 0; round < 30; ++round) {
            ParallelRunReport report;
            const NodeHandle general =
                parallel_find_first(*parsed.start, MatchCriteria{"p", {{"class", "hit"}}}, config, &report);
            CHECK(general != nullptr && chunk_firsts.count(general->gumbo()) == 1);
            CHECK_EQ(report.workers, config.max_threads);
            const NodeHandle by_id = parallel_find_first(*parsed.start, attrs_only("id", "dup"), config);
            CHECK(by_id != nullptr && chunk_firsts.count(by_id->gumbo()) == 1);
            const NodeList id_list = parallel_find_all(*parsed.start, attrs_only("id", "dup"), config);
            CHECK(id_list.size() == 1 && chunk_firsts.count(id_list.front()->gumbo()) == 1);
        }
    }
    // One hardware thread: on the calling thread, the first match in document order.
    ParallelRunReport report;
    const NodeHandle first = parallel_find_first(*parsed.start, MatchCriteria{"p", {{"class", "hit"}}},
                                                 make_parallel_config(1), &report);
    CHECK(first != nullptr && first->gumbo() == hits.front());
    CHECK_EQ(report.workers, 0u);

    // A single hit, in the last chunk: whichever worker finds it, the answer is determined.
    std::string lone = repeat("<p></p>", 590) + "<p class=\"hit\"></p>" + repeat("<p></p>", 8);
    const Parsed single = parse_page(lone);
    GumboNode* only = select(single.start->gumbo(), [](const GumboNode* n) {
                          return attribute_equals(n, "class", "hit");
                      }).front();
    for (unsigned int hardware : {2u, 16u}) {
        ParallelRunReport lone_report;
        const NodeHandle found = parallel_find_first(*single.start, MatchCriteria{"", {{"class", "hit"}}},
                                                     make_parallel_config(hardware), &lone_report);
        CHECK(found != nullptr && found->gumbo() == only);
        CHECK(lone_report.workers >= 2);
    }
    // Below the threshold: the first match in document order.
    const Parsed small = parse_page(repeat("<p></p>", 50) + repeat("<p class=\"hit\"></p>", 100));
    GumboNode* small_first = select(small.start->gumbo(), [](const GumboNode* n) {
                                 return attribute_equals(n, "class", "hit");
                             }).front();
    ParallelRunReport small_report;
    const NodeHandle small_found = parallel_find_first(*small.start, MatchCriteria{"", {{"class", "hit"}}},
                                                       make_parallel_config(16), &small_report);
    CHECK(small_found != nullptr && small_found->gumbo() == small_first);
    CHECK_EQ(small_report.workers, 0u);
}

// A time limit of 0 ms is always overrun: the workers are stopped and the calling thread
// answers, completely and in document order, the find forms with the first match.
void test_time_out_path() {
    std::string body;
    for (int i = 0; i < 700; ++i) {
        body += i % 3 == 0 ? "<p class=\"a hit\" id=\"dup\">t</p>" : "<p class=\"a\">t</p>";
    }
    const Parsed parsed = parse_page(body);
    GumboNode* start = parsed.start->gumbo();
    const std::vector<GumboNode*> hits =
        select(start, [](const GumboNode* n) { return has_token(n, "hit"); });
    const std::vector<GumboNode*> paragraphs =
        select(start, [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_P); });

    for (std::uint64_t threads : {2u, 8u}) {
        const ParallelConfig config{threads, 200, 0};
        for (int round = 0; round < 10; ++round) {
            ParallelRunReport report;
            CHECK(parser_nodes(parallel_find_all(*parsed.start, attrs_only("class", "hit"), config,
                                                 &report)) == hits);
            CHECK(report.timed_out);
            CHECK_EQ(report.workers, threads);

            report = ParallelRunReport{};
            CHECK(parser_nodes(parallel_find_all(*parsed.start, tag_only("p"), config, &report)) ==
                  paragraphs);
            CHECK(report.timed_out);

            report = ParallelRunReport{};
            CHECK(parser_nodes(parallel_find_all(
                      *parsed.start, MatchCriteria{"p", {{"class", "a hit"}}}, config, &report)) == hits);
            CHECK(report.timed_out);

            report = ParallelRunReport{};
            const NodeHandle first = parallel_find_first(
                *parsed.start, MatchCriteria{"p", {{"class", "a hit"}}}, config, &report);
            CHECK(first != nullptr && first->gumbo() == hits.front());
            CHECK(report.timed_out);

            report = ParallelRunReport{};
            const NodeHandle by_id = parallel_find_first(*parsed.start, attrs_only("id", "dup"), config, &report);
            CHECK(by_id != nullptr && by_id->gumbo() == hits.front());
            CHECK(report.timed_out);
        }
    }
    // The default limit is not reached by such a search.
    ParallelRunReport report;
    CHECK(parser_nodes(parallel_find_all(*parsed.start, tag_only("p"), make_parallel_config(2),
                                         &report)) == paragraphs);
    CHECK(!report.timed_out);
    CHECK_EQ(report.workers, 2u);
}

// Settings never produced by make_parallel_config: more workers than nodes leaves some chunks
// empty; the answer is still complete.
void test_more_workers_than_nodes() {
    const Parsed parsed = parse_page("<p class=\"a\"></p><p class=\"a\"></p>");
    const std::vector<GumboNode*> expected =
        select(parsed.start->gumbo(), [](const GumboNode* n) { return has_token(n, "a"); });
    ParallelRunReport report;
    const ParallelConfig config{8, 1, 5000};
    CHECK(parser_nodes(parallel_find_all(*parsed.start, attrs_only("class", "a"), config, &report)) ==
          expected);
    CHECK_EQ(report.workers, 8u);
    const NodeHandle first = parallel_find_first(*parsed.start, attrs_only("class", "a"), config);
    CHECK(first != nullptr && (first->gumbo() == expected[0] || first->gumbo() == expected[1]));
}

// The optimised strategy: the estimate gate, the 500-match gate and one worker per started
// 500 matches, up to the thread cap.
void test_optimized_thresholds() {
    struct Case {
        std::size_t matches;
        std::size_t with_four;
        std::size_t with_two;
    };
    const Case cases[] = {{499, 0, 0},  {500, 0, 0},  {501, 2, 2},  {1000, 2, 2},
                          {1001, 3, 2}, {1500, 3, 2}, {1501, 4, 2}};
    for (const Case& c : cases) {
        // 2100 nodes in all: the start, the matches, and i elements as padding.
        const Parsed parsed = parse_page(repeat("<p class=\"m\"></p>", c.matches) +
                                         repeat("<i></i>", 2099 - c.matches));
        GumboNode* start = parsed.start->gumbo();
        const std::vector<GumboNode*> expected =
            select(start, [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_P); });
        CHECK_EQ(expected.size(), c.matches);
        const MatchCriteria queries[] = {tag_only("p"), tag_only("P"), attrs_only("class", "m"),
                                         MatchCriteria{"p", {{"class", "m"}}}};
        for (unsigned int hardware : {0u, 1u, 2u, 4u, 16u}) {
            const OptimizedParallelConfig config = make_optimized_parallel_config(hardware);
            const std::size_t expected_workers =
                config.max_threads <= 1 ? 0 : config.max_threads >= 4 ? c.with_four : c.with_two;
            for (const MatchCriteria& criteria : queries) {
                const std::string context = std::to_string(c.matches) + " matches, " +
                                            std::to_string(hardware) + " hardware threads, tag '" +
                                            criteria.tag_name + "'";
                ParallelRunReport report;
                const NodeList found = optimized_parallel_find_all(*parsed.start, criteria, config, &report);
                CHECK_CTX(parser_nodes(found) == expected, context);
                CHECK_CTX(report.workers == expected_workers, context);
                CHECK_CTX(!report.timed_out, context);
            }
            // The find form is the first element of the general path's list.
            ParallelRunReport report;
            const NodeHandle first =
                optimized_parallel_find_first(*parsed.start, attrs_only("class", "m"), config, &report);
            CHECK(first != nullptr && first->gumbo() == expected.front());
            CHECK_EQ(report.workers, expected_workers);
            // DIV alone: tag path finds the divs; the find form compares the lower-case name.
            CHECK(optimized_parallel_find_first(*parsed.start, tag_only("DIV"), config) == nullptr);
            CHECK(optimized_parallel_find_first(*parsed.start, tag_only("div"), config) == parsed.start);
        }
    }
}

void test_optimized_estimate_gate() {
    const OptimizedParallelConfig config = make_optimized_parallel_config(4);
    // 1999 nodes within ten levels, 1000 of them matches: on the calling thread.
    {
        const Parsed parsed =
            parse_page(repeat("<p class=\"m\"></p>", 1000) + repeat("<i></i>", 998));
        ParallelRunReport report;
        const NodeList found = optimized_parallel_find_all(*parsed.start, tag_only("p"), config, &report);
        CHECK_EQ(found.size(), 1000u);
        CHECK_EQ(report.workers, 0u);
    }
    // Exactly 2000: two workers for 1000 matches.
    {
        const Parsed parsed =
            parse_page(repeat("<p class=\"m\"></p>", 1000) + repeat("<i></i>", 999));
        ParallelRunReport report;
        const NodeList found = optimized_parallel_find_all(*parsed.start, tag_only("p"), config, &report);
        CHECK_EQ(found.size(), 1000u);
        CHECK_EQ(report.workers, 2u);
    }
    // Thousands of matches below the tenth level do not count towards the estimate.
    {
        const Parsed parsed = parse_page(repeat("<div>", 10) + repeat("<p class=\"m\"></p>", 3000) +
                                         repeat("</div>", 10));
        const std::vector<GumboNode*> expected =
            select(parsed.start->gumbo(), [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_P); });
        ParallelRunReport report;
        const NodeList found = optimized_parallel_find_all(*parsed.start, attrs_only("class", "m"), config, &report);
        CHECK(parser_nodes(found) == expected);
        CHECK_EQ(expected.size(), 3000u);
        CHECK_EQ(report.workers, 0u);
    }
    // One level less and the same matches start four workers.
    {
        const Parsed parsed = parse_page(repeat("<div>", 9) + repeat("<p class=\"m\"></p>", 3000) +
                                         repeat("</div>", 9));
        ParallelRunReport report;
        const NodeList found = optimized_parallel_find_all(*parsed.start, attrs_only("class", "m"), config, &report);
        CHECK_EQ(found.size(), 3000u);
        CHECK_EQ(report.workers, 4u);
    }
}

// The comparison rules of the two strategies, with workers running.
void test_rules_with_workers() {
    std::string body;
    for (int i = 0; i < 800; ++i) {
        body += "<p class=\"a b\" id=\"dup\" title>t</p><p class=\"a\" title=\"\">t</p>"
                "<p class=\"b\" title=\"x\">t</p>";
    }
    const Parsed parsed = parse_page(body);
    GumboNode* start = parsed.start->gumbo();
    const ParallelConfig parallel = make_parallel_config(2);
    const OptimizedParallelConfig optimized = make_optimized_parallel_config(2);

    const auto token_a = select(start, [](const GumboNode* n) { return has_token(n, "a"); });
    const auto whole_a = select(start, [](const GumboNode* n) { return attribute_equals(n, "class", "a"); });
    const auto empty_title = select(start, [](const GumboNode* n) { return attribute_equals(n, "title", ""); });
    const auto any_title = select(start, [](const GumboNode* n) { return attribute_value(n, "title") != nullptr; });
    const auto dup = select(start, [](const GumboNode* n) { return attribute_equals(n, "id", "dup"); });
    const auto divs = select(start, [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_DIV); });
    CHECK_EQ(token_a.size(), 1600u);
    CHECK_EQ(whole_a.size(), 800u);
    CHECK_EQ(empty_title.size(), 1600u);
    CHECK_EQ(any_title.size(), 2400u);
    CHECK_EQ(dup.size(), 800u);

    ParallelRunReport report;
    CHECK(parser_nodes(parallel_find_all(*parsed.start, attrs_only("class", "a"), parallel, &report)) == token_a);
    CHECK_EQ(report.workers, 2u);
    report = {};
    CHECK(parser_nodes(optimized_parallel_find_all(*parsed.start, attrs_only("class", "a"), optimized, &report)) ==
          whole_a);
    CHECK_EQ(report.workers, 2u);
    // An empty required value matches only an empty value, on both strategies.
    CHECK(parser_nodes(parallel_find_all(*parsed.start, MatchCriteria{"p", {{"title", ""}}}, parallel)) ==
          empty_title);
    CHECK(parser_nodes(optimized_parallel_find_all(*parsed.start, MatchCriteria{"p", {{"title", ""}}},
                                                   optimized)) == empty_title);
    CHECK(parser_nodes(parsed.start->find_all_ultra_fast("p", {{"title", ""}})) == any_title);
    // An id: at most one from the first strategy, every carrier from the second.
    const NodeList one_id = parallel_find_all(*parsed.start, attrs_only("id", "dup"), parallel);
    CHECK_EQ(one_id.size(), 1u);
    CHECK(parser_nodes(optimized_parallel_find_all(*parsed.start, attrs_only("id", "dup"), optimized)) == dup);
    // DIV: tag path ignores case, the general path does not.
    CHECK(parser_nodes(parallel_find_all(*parsed.start, tag_only("DIV"), parallel)) == divs);
    CHECK(parallel_find_all(*parsed.start, MatchCriteria{"DIV", {{"id", "s"}}}, parallel).empty());
    CHECK(parallel_find_first(*parsed.start, tag_only("DIV"), parallel) == nullptr);
    CHECK(parser_nodes(optimized_parallel_find_all(*parsed.start, tag_only("DIV"), optimized)) == divs);
    CHECK(optimized_parallel_find_first(*parsed.start, tag_only("DIV"), optimized) == nullptr);
    // Handles are shared with the sequential searches while they live.
    const NodeList sequential = parsed.start->find_all_ultra_fast("p", {});
    CHECK(parallel_find_all(*parsed.start, tag_only("p"), parallel) == sequential);
    CHECK(optimized_parallel_find_all(*parsed.start, tag_only("p"), optimized) == sequential);
}

void test_start_nodes() {
    const std::string body = "text<!--c-->" + repeat("<p class=\"a\">t</p>", 1200) +
                             "<template>" + repeat("<p class=\"a\">t</p>", 700) + "</template>";
    const Parsed parsed = parse_page(body);
    GumboNode* start = parsed.start->gumbo();
    const ParallelConfig parallel = make_parallel_config(2);
    const OptimizedParallelConfig optimized = make_optimized_parallel_config(2);
    const auto paragraphs = select(start, [](const GumboNode* n) { return is_tag(n, GUMBO_TAG_P); });
    CHECK_EQ(paragraphs.size(), 1200u);

    // Template contents are never searched, with or without workers.
    ParallelRunReport report;
    CHECK(parser_nodes(parallel_find_all(*parsed.start, attrs_only("class", "a"), parallel, &report)) ==
          paragraphs);
    CHECK_EQ(report.workers, 2u);
    report = {};
    CHECK(parser_nodes(optimized_parallel_find_all(*parsed.start, tag_only("p"), optimized, &report)) ==
          paragraphs);
    CHECK_EQ(report.workers, 2u);

    // The start element is tested itself and comes first.
    const NodeList everything = parallel_find_all(*parsed.start, MatchCriteria{}, parallel);
    CHECK(!everything.empty() && everything.front() == parsed.start);
    CHECK_EQ(everything.size(), 1201u);
    const NodeList root_first = parallel_find_all(*parsed.tree->get_root(), tag_only("html"), parallel);
    CHECK(root_first == NodeList{parsed.tree->get_root()});
    const NodeList optimized_everything = optimized_parallel_find_all(*parsed.start, MatchCriteria{}, optimized);
    CHECK(!optimized_everything.empty() && optimized_everything.front() == parsed.start);
    CHECK_EQ(optimized_everything.size(), 1201u);

    // Starts that are not elements find nothing and start no worker.
    const GumboVector& children = start->v.element.children;
    GumboNode* text = static_cast<GumboNode*>(children.data[0]);
    GumboNode* comment = static_cast<GumboNode*>(children.data[1]);
    GumboNode* templ = static_cast<GumboNode*>(children.data[children.length - 1]);
    GumboNode* document = parsed.tree->root_element()->parent;
    CHECK_EQ(text->type, GUMBO_NODE_TEXT);
    CHECK_EQ(comment->type, GUMBO_NODE_COMMENT);
    CHECK_EQ(templ->type, GUMBO_NODE_TEMPLATE);
    CHECK_EQ(document->type, GUMBO_NODE_DOCUMENT);
    // Only the start node is listed, so the usual settings start no worker; settings that
    // would start workers for a single node find nothing either.
    const ParallelConfig eager{2, 1, 5000};
    const OptimizedParallelConfig eager_optimized{2, 1, 1};
    for (GumboNode* node : {text, comment, templ, document}) {
        const NodeHandle handle = parsed.tree->wrap_node(node);
        for (const MatchCriteria& criteria :
             {MatchCriteria{}, tag_only("p"), attrs_only("class", "a"), attrs_only("id", "s")}) {
            ParallelRunReport none;
            CHECK(parallel_find_all(*handle, criteria, parallel, &none).empty());
            CHECK(parallel_find_first(*handle, criteria, parallel, &none) == nullptr);
            CHECK(optimized_parallel_find_all(*handle, criteria, optimized, &none).empty());
            CHECK(optimized_parallel_find_first(*handle, criteria, optimized, &none) == nullptr);
            CHECK_EQ(none.workers, 0u);
            CHECK(parallel_find_all(*handle, criteria, eager).empty());
            CHECK(parallel_find_first(*handle, criteria, eager) == nullptr);
            CHECK(optimized_parallel_find_all(*handle, criteria, eager_optimized).empty());
            CHECK(optimized_parallel_find_first(*handle, criteria, eager_optimized) == nullptr);
        }
    }
    // A handle that belongs to no tree.
    const Node detached(start, nullptr);
    CHECK(parallel_find_all(detached, MatchCriteria{}, parallel).empty());
    CHECK(parallel_find_first(detached, MatchCriteria{}, parallel) == nullptr);
    CHECK(optimized_parallel_find_all(detached, MatchCriteria{}, optimized).empty());
    CHECK(optimized_parallel_find_first(detached, MatchCriteria{}, optimized) == nullptr);
}

// Deep nesting: node collection and the walks keep their own stacks.
void test_deep_document() {
    const std::size_t depth = 10000;
    const Parsed parsed = parse_page(repeat("<div class=\"d\">", depth) + repeat("</div>", depth));
    ParallelRunReport report;
    const NodeList found = parallel_find_all(*parsed.start, attrs_only("class", "d"), make_parallel_config(2), &report);
    CHECK_EQ(found.size(), depth);
    CHECK_EQ(report.workers, 2u);
    const NodeList optimized = optimized_parallel_find_all(*parsed.start, tag_only("div"),
                                                           make_optimized_parallel_config(4), &report);
    CHECK_EQ(optimized.size(), depth + 1);
    const NodeHandle first = parallel_find_first(*parsed.start, MatchCriteria{"div", {{"class", "d"}}},
                                                 make_parallel_config(1));
    CHECK(first != nullptr && first->gumbo() == parsed.start->gumbo()->v.element.children.data[0]);
}

}  // namespace

int main() {
    test_configs();
    test_parallel_worker_count();
    test_optimized_worker_count();
    test_split_evenly();
    test_estimate_subtree_size();
    test_parallel_thresholds();
    test_parallel_find_first();
    test_time_out_path();
    test_more_workers_than_nodes();
    test_optimized_thresholds();
    test_optimized_estimate_gate();
    test_rules_with_workers();
    test_start_nodes();
    test_deep_document();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
