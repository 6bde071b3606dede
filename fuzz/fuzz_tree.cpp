// libFuzzer target: parses arbitrary bytes with velkaron::Tree, then runs every query family
// on nodes picked from the parsed document, with criteria (tag names, class tokens, ids,
// attribute names and values, text) taken from the document itself. Besides crashes, leaks
// and undefined behaviour (caught by the sanitizers), it checks invariants that tie the query
// families together, so a strategy that silently returns corrupted or inconsistent results
// fails too. Only relations that hold by design are asserted: the strategies differ on
// purpose in case folding, class-value comparison and empty required values, so the
// cross-checks use lower-case names from the document and non-empty values.

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "document/tag_lookup.h"
#include "document/tree.h"
#include "node/node.h"
#include "search/criteria.h"
#include "search/parallel.h"
#include "search/parallel_config.h"
#include "select/selector.h"

using velkaron::AttributeMap;
using velkaron::MatchCriteria;
using velkaron::NodeHandle;
using velkaron::NodeList;
using velkaron::Tree;

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = std::string()) {
    std::fprintf(stderr, "invariant violated: %s %s\n", what, detail.c_str());
    std::abort();
}

#define CHECK(condition, ...) \
    do {                      \
        if (!(condition)) fail(#condition, ##__VA_ARGS__); \
    } while (0)

// Every string handed to Python is decoded as strict UTF-8 (no surrogates, no overlongs);
// anything else would surface as UnicodeDecodeError on a perfectly parseable page.
bool is_strict_utf8(std::string_view s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (extra >= n - i) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
        if (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// gumbo 0.10.1 accumulates a numeric character reference in a 32-bit int; from 2^31 on the
// value wraps and is written as one raw byte, which need not be UTF-8 (a known parser fault,
// see tests/cases/api/hostile.txt). Inputs holding such a reference skip the UTF-8 check so
// the fuzzer keeps looking for other faults.
bool has_overflowing_numeric_reference(std::string_view input) {
    for (std::size_t i = 0; i + 2 < input.size(); ++i) {
        if (input[i] != '&' || input[i + 1] != '#') continue;
        std::size_t j = i + 2;
        const bool hex = input[j] == 'x' || input[j] == 'X';
        if (hex) ++j;
        std::uint64_t value = 0;
        for (; j < input.size(); ++j) {
            const char c = input[j];
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (hex && c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                break;
            }
            value = std::min<std::uint64_t>(value * (hex ? 16 : 10) + digit, 1ull << 40);
        }
        if (value >= (1ull << 31)) return true;
    }
    return false;
}

bool utf8_checked = true;

void check_utf8(const std::string& s, const char* where) {
    if (utf8_checked && !is_strict_utf8(s)) fail("string is not valid UTF-8 from", where);
}

void check_utf8(const std::vector<std::string>& list, const char* where) {
    for (const std::string& s : list) check_utf8(s, where);
}

// Small deterministic generator: choices depend on the input bytes only, so every crash
// reproduces from its input file.
struct Picker {
    std::uint64_t state;
    explicit Picker(const std::uint8_t* data, std::size_t size) : state(1469598103934665603ull) {
        for (std::size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 1099511628211ull;
        state |= 1;
    }
    std::uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
};

std::vector<GumboNode*> pointers(const NodeList& list) {
    std::vector<GumboNode*> out;
    out.reserve(list.size());
    for (const NodeHandle& handle : list) {
        CHECK(handle != nullptr, "null handle in a result list");
        out.push_back(handle->gumbo());
    }
    return out;
}

GumboNode* pointer(const NodeHandle& handle) { return handle == nullptr ? nullptr : handle->gumbo(); }

std::vector<GumboNode*> without_adjacent_repeats(std::vector<GumboNode*> list) {
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

bool is_lower_known_tag(const std::string& name) {
    if (name.empty()) return false;
    const GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size()));
    return tag != GUMBO_TAG_UNKNOWN && name == gumbo_normalized_tagname(tag);
}

// What the document offers as query material.
struct Material {
    std::vector<std::string> tag_names;
    std::vector<std::string> class_tokens;
    std::vector<std::string> ids;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::string> texts;
};

void split_class_tokens(const std::string& value, std::vector<std::string>& out) {
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < value.size()) {
        while (i < value.size() && separator(value[i])) ++i;
        const std::size_t begin = i;
        while (i < value.size() && !separator(value[i])) ++i;
        if (i > begin) out.push_back(value.substr(begin, i - begin));
    }
}

std::string trim_index_text(const std::string& text) {
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && separator(text[begin])) ++begin;
    while (end > begin && separator(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

constexpr std::size_t material_cap = 32;

template <typename T>
void add_capped(std::vector<T>& list, T value) {
    if (list.size() < material_cap) list.push_back(std::move(value));
}

// Navigation and reads on one node; checks that the family agrees with itself.
void exercise_node(const NodeHandle& node, Material& material) {
    GumboNode* raw = node->gumbo();

    const std::string name = node->get_name();
    check_utf8(name, "get_name");
    CHECK(node->is_element() == (raw->type == GUMBO_NODE_ELEMENT));
    CHECK(node->is_document() == (raw->type == GUMBO_NODE_DOCUMENT));
    CHECK(!(node->is_element() && node->is_text()));
    if (node->is_element()) add_capped(material.tag_names, name);

    const AttributeMap attributes = node->get_attributes();
    for (const auto& [key, value] : attributes) {
        check_utf8(key, "attribute name");
        check_utf8(value, "attribute value");
        CHECK(node->get_attribute(key) == value, key);
        CHECK(node->has_attribute(key) == !value.empty(), key);
        add_capped(material.attributes, std::make_pair(key, value));
        if (key == "class") split_class_tokens(value, material.class_tokens);
        if (key == "id") add_capped(material.ids, value);
    }
    if (!node->is_element()) CHECK(attributes.empty());

    const std::string text = node->get_text();
    const std::vector<std::string> strings = node->get_strings();
    check_utf8(text, "get_text");
    check_utf8(strings, "get_strings");
    std::string joined;
    for (const std::string& piece : strings) joined += piece;
    CHECK(joined == text, "get_text is not the concatenation of get_strings");
    const std::string separated = node->get_text_with_separator("|");
    std::string expected_separated;
    for (std::size_t i = 0; i < strings.size(); ++i) {
        if (i > 0) expected_separated += '|';
        expected_separated += strings[i];
    }
    CHECK(separated == expected_separated);
    check_utf8(node->get_text_stripped(), "get_text_stripped");
    check_utf8(node->get_text_with_separator_stripped(" "), "get_text_with_separator_stripped");
    const std::vector<std::string> stripped = node->get_stripped_strings();
    check_utf8(stripped, "get_stripped_strings");
    CHECK(stripped.size() <= strings.size());
    const std::string direct = node->get_direct_text();
    check_utf8(direct, "get_direct_text");
    CHECK(direct.size() <= text.size());

    // Children point back at their parent, and sibling links agree with child order.
    const NodeList children = node->get_children();
    for (std::size_t i = 0; i < children.size(); ++i) {
        const NodeHandle& child = children[i];
        CHECK(child != nullptr);
        CHECK(pointer(child->get_parent()) == raw, "child's parent is not the node");
        const NodeHandle next = child->get_next_sibling();
        const NodeHandle previous = child->get_previous_sibling();
        CHECK(pointer(next) == (i + 1 < children.size() ? children[i + 1]->gumbo() : nullptr));
        CHECK(pointer(previous) == (i > 0 ? children[i - 1]->gumbo() : nullptr));
        if (child->is_text()) {
            const std::string piece = child->get_text();
            const std::string trimmed = trim_index_text(piece);
            if (!trimmed.empty()) add_capped(material.texts, trimmed);
        }
    }

    const NodeList descendants = node->get_descendants();
    const NodeList with_text = node->get_all_descendants_with_text();
    CHECK(with_text.size() <= descendants.size());
    for (const NodeHandle& d : descendants) CHECK(d != nullptr && d->gumbo() != raw);

    const NodeList parents = node->get_all_parents();
    for (const NodeHandle& p : parents) CHECK(p != nullptr && p->is_element());
    (void)node->get_next_element();
    (void)node->get_previous_element();
    const NodeList after = node->get_all_next_siblings_including_text();
    const NodeList before = node->get_all_previous_siblings_including_text();
    for (const NodeHandle& s : after) CHECK(s != nullptr && s->gumbo() != raw);
    for (const NodeHandle& s : before) CHECK(s != nullptr && s->gumbo() != raw);
    CHECK(node->get_gumbo_node() == reinterpret_cast<std::uintptr_t>(raw));

    // The edit-named operations leave everything as it was.
    node->decompose();
    node->clear();
    node->set_attribute("x", "y");
    node->remove_attribute("class");
    node->append(node);
    node->insert(-1, nullptr);
    node->replace_with(nullptr);
    CHECK(pointer(node->extract()) == raw);
    CHECK(pointer(node->unwrap()) == raw);
    CHECK(pointer(node->wrap(nullptr)) == raw);
    CHECK(node->get_attributes() == attributes);
    CHECK(node->get_children().size() == children.size());
}

// Executions must be cheap for the fuzzer to get far, so most inputs get a light round: the
// queries run from the root only, on one picked node besides. One input in `deep_input_share`
// gets the deep round (six picked nodes, every node queried) and half of those a budget of
// thread-starting calls, which cost far more than a small search; after the budget runs out,
// and on every other input, the same calls take their single-thread paths. Rounds and call
// sites are picked from the input's bytes, so a finding reproduces from its file and, over
// many inputs, every call site gets threads.
constexpr std::size_t deep_input_share = 8;
int thread_rounds_left = 0;
constexpr int thread_rounds_per_input = 6;
Picker* thread_picker = nullptr;

bool take_thread_round() {
    if (thread_rounds_left <= 0 || thread_picker == nullptr || thread_picker->below(5) != 0) {
        return false;
    }
    --thread_rounds_left;
    return true;
}

// The plain configuration (threads on every non-trivial subtree, a generous time limit) and
// one whose time limit has passed when the first worker is joined (the fallback path).
std::vector<velkaron::ParallelConfig> parallel_configs() {
    if (!take_thread_round()) return {{1, 1, 60000}};
    return {{3, 1, 60000}, {2, 1, 0}};
}

std::vector<velkaron::OptimizedParallelConfig> optimized_configs() {
    if (!take_thread_round()) return {{1, 4, 1}};
    return {{3, 4, 1}, {2, 1, 2}};
}

// Every strategy for one tag-name query from one node; the ones that answer the same
// question must give the same list.
void exercise_tag_query(const NodeHandle& node, const std::string& tag, bool at_root) {
    const NodeList by_find_all = node->find_all(tag, {});
    const NodeList by_ultra = node->find_all_ultra_fast(tag, {});
    const NodeList by_bulk = node->find_all_bulk(tag, {});
    const NodeHandle first = node->find(tag, {});
    const NodeHandle first_ultra = node->find_ultra_fast(tag, {});
    const NodeHandle first_bulk = node->find_bulk(tag, {});
    const NodeList descendants = node->find_descendants_by_tag(tag);

    const MatchCriteria criteria{tag, {}};
    std::vector<NodeList> parallel_results;
    // Every threaded first-match search answers the earliest match in document order.
    NodeList parallel_firsts;
    for (const auto& config : parallel_configs()) {
        velkaron::ParallelRunReport report;
        parallel_results.push_back(velkaron::parallel_find_all(*node, criteria, config, &report));
        parallel_firsts.push_back(velkaron::parallel_find_first(*node, criteria, config, &report));
    }
    for (const auto& config : optimized_configs()) {
        velkaron::ParallelRunReport report;
        parallel_results.push_back(
            velkaron::optimized_parallel_find_all(*node, criteria, config, &report));
        (void)velkaron::optimized_parallel_find_first(*node, criteria, config, &report);
    }
    if (take_thread_round()) {
        // The public entry points, with the platform's thread count and thresholds.
        parallel_results.push_back(node->find_all_parallel(tag, {}, true));
        parallel_results.push_back(node->find_all_parallel_optimized(tag, {}, true));
        parallel_firsts.push_back(node->find_parallel(tag, {}, true));
        (void)node->find_parallel_optimized(tag, {}, true);
    }
    parallel_results.push_back(node->find_all_parallel(tag, {}, false));
    parallel_results.push_back(node->find_all_parallel_optimized(tag, {}, false));

    if (!is_lower_known_tag(tag)) return;
    // A lower-case known name means the same thing to every strategy.
    const std::vector<GumboNode*> expected = pointers(by_ultra);
    CHECK(pointers(by_find_all) == expected, tag);
    CHECK(pointers(by_bulk) == expected, tag);
    for (const NodeList& result : parallel_results) CHECK(pointers(result) == expected, tag);
    GumboNode* expected_first = expected.empty() ? nullptr : expected.front();
    CHECK(pointer(first) == expected_first, tag);
    CHECK(pointer(first_ultra) == expected_first, tag);
    CHECK(pointer(first_bulk) == expected_first, tag);
    for (const NodeHandle& found : parallel_firsts) CHECK(pointer(found) == expected_first, tag);
    if (node->is_element()) {
        // The same elements minus the start node (the walks above do not enter the document
        // node, while this one does).
        std::vector<GumboNode*> below = expected;
        below.erase(std::remove(below.begin(), below.end(), node->gumbo()), below.end());
        CHECK(pointers(descendants) == below, tag);
    }
    if (at_root) {
        CHECK(node->count_elements_by_tag(tag) == expected.size(), tag);
        for (const std::string& piece : node->get_all_text_by_tag(tag)) check_utf8(piece, "text by tag");
    }
}

void exercise_class_query(const NodeHandle& node, const std::string& token, bool at_root) {
    const AttributeMap attrs{{"class", token}};
    const NodeList by_find_all = node->find_all("", attrs);
    const NodeList by_ultra = node->find_all_ultra_fast("", attrs);
    (void)node->find_all_bulk("", attrs);
    (void)node->find_bulk("div", attrs);
    (void)node->find("", attrs);
    (void)node->find_ultra_fast("", attrs);

    std::vector<NodeList> token_results;
    for (const auto& config : parallel_configs()) {
        token_results.push_back(velkaron::parallel_find_all(*node, {"", attrs}, config));
    }
    for (const auto& config : optimized_configs()) {
        (void)velkaron::optimized_parallel_find_all(*node, {"", attrs}, config);
    }
    if (take_thread_round()) {
        (void)node->find_all_parallel("", attrs, true);
        (void)node->find_all_parallel_optimized("", attrs, true);
    }

    // Token matching: the walk's answer, and the root's index answer listing an element once
    // per repetition of the token.
    const std::vector<GumboNode*> walked = pointers(by_ultra);
    CHECK(without_adjacent_repeats(pointers(by_find_all)) == walked, token);
    for (const NodeList& result : token_results) CHECK(pointers(result) == walked, token);
    if (at_root) {
        CHECK(node->count_elements_by_class(token) == by_find_all.size(), token);
        for (const std::string& piece : node->get_all_text_by_class(token)) {
            check_utf8(piece, "text by class");
        }
    }
}

void exercise_id_query(const NodeHandle& node, const std::string& id) {
    const AttributeMap attrs{{"id", id}};
    const NodeHandle by_find = node->find("", attrs);
    const NodeHandle by_ultra = node->find_ultra_fast("", attrs);
    CHECK(pointer(by_find) == pointer(by_ultra), id);
    (void)node->find_all("", attrs);
    (void)node->find_all_bulk("", attrs);
    for (const auto& config : parallel_configs()) {
        const NodeList found = velkaron::parallel_find_all(*node, {"", attrs}, config);
        CHECK(found.size() <= 1, id);
        (void)velkaron::parallel_find_first(*node, {"", attrs}, config);
    }
    if (take_thread_round()) (void)node->find_parallel_optimized("", attrs, true);
}

void exercise_attribute_query(const NodeHandle& node, const std::string& tag,
                              const std::string& key, const std::string& value) {
    const AttributeMap attrs{{key, value}};
    const NodeList by_find_all = node->find_all(tag, attrs);
    const NodeList by_ultra = node->find_all_ultra_fast(tag, attrs);
    const NodeList by_bulk = node->find_all_bulk(tag, attrs);
    std::vector<NodeList> strict;
    for (const auto& config : parallel_configs()) {
        strict.push_back(velkaron::parallel_find_all(*node, {tag, attrs}, config));
    }
    for (const auto& config : optimized_configs()) {
        strict.push_back(velkaron::optimized_parallel_find_all(*node, {tag, attrs}, config));
    }
    (void)node->find(tag, attrs);
    (void)node->find_bulk(tag, attrs);
    if (take_thread_round()) {
        (void)node->find_parallel(tag, attrs, true);
        (void)node->find_parallel_optimized(tag, attrs, true);
    }

    // With a tag name, or an attribute other than class and id, every strategy applies the
    // whole-value test; with a non-empty value the empty-value rules do not come into play.
    const bool general = !tag.empty() || (key != "class" && key != "id");
    if (!general || value.empty() || !(tag.empty() || is_lower_known_tag(tag))) return;
    const std::vector<GumboNode*> expected = pointers(by_ultra);
    CHECK(pointers(by_find_all) == expected, key);
    for (const NodeList& result : strict) CHECK(pointers(result) == expected, key);
    if (key != "class") {
        // The bulk search from the root groups attribute-only results by tag name.
        std::vector<GumboNode*> bulk = pointers(by_bulk);
        std::vector<GumboNode*> sorted_expected = expected;
        std::sort(bulk.begin(), bulk.end());
        std::sort(sorted_expected.begin(), sorted_expected.end());
        CHECK(bulk == sorted_expected, key);
    }
}

}  // namespace

// The input's first line read as a selector list: refused text throws SelectorError; other
// text gives elements in document order, once each, agreeing with select_one, with the root's
// select (less the root) and, where :scope cannot differ, with matches().
void exercise_selector(const Tree& tree, const NodeHandle& root, const std::string& css,
                       const NodeList& all_elements) {
    NodeList found;
    try {
        found = tree.select(css);
    } catch (const velkaron::select::SelectorError&) {
        return;
    }
    std::vector<GumboNode*> order = pointers(all_elements);
    std::size_t next = 0;
    for (const NodeHandle& element : found) {
        const auto at = std::find(order.begin() + next, order.end(), element->gumbo());
        CHECK(at != order.end(), "selector results out of document order or repeated: " + css);
        next = static_cast<std::size_t>(at - order.begin()) + 1;
    }
    const NodeHandle first = tree.select_one(css);
    CHECK(found.empty() ? first == nullptr : first == found.front(), css);
    if (css.find("scope") != std::string::npos) return;
    std::vector<GumboNode*> below_root = pointers(found);
    below_root.erase(std::remove(below_root.begin(), below_root.end(), root->gumbo()), below_root.end());
    CHECK(pointers(root->select(css)) == below_root, css);
    for (const NodeHandle& element : found) CHECK(element->matches(css), css);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string html(reinterpret_cast<const char*>(data), size);
    Picker picker(data, size);
    thread_picker = &picker;
    const bool deep = picker.below(deep_input_share) == 0;
    thread_rounds_left = deep && picker.below(2) == 0 ? thread_rounds_per_input : 0;
    utf8_checked = !has_overflowing_numeric_reference(html);
    // The markup scan's tag table answers as the parser does, for any bytes.
    for (std::size_t length = 0; length <= std::min<std::size_t>(size, 18); ++length) {
        CHECK(velkaron::tag_of_name(std::string_view(html).substr(0, length)) ==
              gumbo_tagn_enum(html.data(), static_cast<unsigned int>(length)));
    }
    Tree tree(html);
    const NodeHandle root = tree.get_root();
    CHECK(root != nullptr, "the parser always yields a root element");
    CHECK(root->get_name() == "html");
    CHECK(tree.get_root() == root);
    CHECK(tree.get_index_build_time() >= 0.0);
    CHECK(tree.create_element("div", {{"a", "b"}}) == nullptr);

    // The element list in document order, three ways: the walk, the index, the position list.
    const NodeList all_elements = root->find_all_ultra_fast("", {});
    const std::uint64_t count = tree.get_indexed_element_count();
    CHECK(all_elements.size() == count, "element count differs from the walk");
    CHECK(all_elements.front()->gumbo() == root->gumbo());
    CHECK(pointers(root->find_all("", {})) == pointers(all_elements));
    for (std::uint64_t i = 0; i < count; ++i) {
        CHECK(pointer(tree.get_nth_element(i)) == all_elements[i]->gumbo());
    }
    CHECK(tree.get_nth_element(count) == nullptr);
    CHECK(tree.get_nth_element(~std::uint64_t{0}) == nullptr);

    const NodeHandle document = root->get_parent();
    CHECK(document != nullptr && document->is_document());
    CHECK(document->get_parent() == nullptr);

    // Nodes to query: the root, the document node, and a few picked from all nodes.
    const NodeList everything = document->get_descendants();
    std::vector<NodeHandle> picked{root, document};
    for (int i = 0; i < (deep ? 6 : 1) && !everything.empty(); ++i) {
        picked.push_back(everything[picker.below(everything.size())]);
    }

    Material material;
    for (const NodeHandle& node : picked) exercise_node(node, material);
    // Material from a few more elements, so criteria come from all over the document.
    for (int i = 0; i < 8; ++i) {
        const NodeHandle& element = all_elements[picker.below(all_elements.size())];
        for (const auto& [key, value] : element->get_attributes()) {
            add_capped(material.attributes, std::make_pair(key, value));
            if (key == "class") split_class_tokens(value, material.class_tokens);
            if (key == "id") add_capped(material.ids, value);
        }
        add_capped(material.tag_names, element->get_name());
    }
    material.tag_names.push_back("DIV");  // case-insensitive walk vs case-sensitive index
    material.tag_names.push_back("custom-widget");

    auto pick = [&picker](const std::vector<std::string>& list) -> const std::string& {
        return list[picker.below(list.size())];
    };

    for (const NodeHandle& node : picked) {
        const bool at_root = node == root;
        if (!deep && !at_root) continue;
        for (int i = 0; i < 2; ++i) exercise_tag_query(node, pick(material.tag_names), at_root);
        if (!material.class_tokens.empty()) {
            exercise_class_query(node, pick(material.class_tokens), at_root);
        }
        if (!material.ids.empty()) exercise_id_query(node, pick(material.ids));
        if (!material.attributes.empty()) {
            const auto& [key, value] = material.attributes[picker.below(material.attributes.size())];
            exercise_attribute_query(node, "", key, value);
            exercise_attribute_query(node, pick(material.tag_names), key, value);
        }
        // Both arguments empty: every element of the subtree, in document order.
        const std::vector<GumboNode*> every = pointers(node->find_all_ultra_fast("", {}));
        for (const auto& config : parallel_configs()) {
            CHECK(pointers(velkaron::parallel_find_all(*node, {}, config)) == every);
        }
        for (const auto& config : optimized_configs()) {
            CHECK(pointers(velkaron::optimized_parallel_find_all(*node, {}, config)) == every);
        }
        (void)node->find_all_bulk("", {});
        // The zero-context queries answer on the root element only.
        if (!at_root) {
            CHECK(node->get_all_hrefs().empty() && node->get_all_src_attributes().empty());
            CHECK(node->count_elements_by_tag("html") == 0);
        }
    }

    check_utf8(root->get_all_hrefs(), "get_all_hrefs");
    check_utf8(root->get_all_src_attributes(), "get_all_src_attributes");
    // The root element, plus any "html" element inside SVG or MathML ("<svg><html>").
    CHECK(root->count_elements_by_tag("html") == root->find_all_ultra_fast("html", {}).size());

    // The tree's index queries: every element found carries what was asked for.
    for (const auto& [key, value] : material.attributes) {
        const NodeList found = tree.find_by_attribute(key, value);
        CHECK(!found.empty(), key);
        for (const NodeHandle& element : found) {
            CHECK(element->is_element());
            const AttributeMap attributes = element->get_attributes();
            auto it = attributes.find(key);
            CHECK(it != attributes.end() && it->second == value, key);
        }
    }
    for (const std::string& text : material.texts) {
        for (const NodeHandle& element : tree.find_by_text_content(text)) {
            CHECK(element->is_element());
        }
    }
    exercise_selector(tree, root, html.substr(0, html.find('\n')), all_elements);
    CHECK(root->test_method() == "test_works");
    thread_picker = nullptr;
    return 0;
}
