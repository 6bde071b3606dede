// The element index files keys by a 32-bit hash and reads the keys back from the elements: two
// keys that share a hash, on one element or on two, must still answer apart, each element once
// per occurrence, in document order, on small pages and on pages large enough to be sorted by
// radix. The markup scan's tag lookup agrees with the parser's.

#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document/element_index.h"
#include "document/tag_lookup.h"
#include "document/tree.h"
#include "node/node.h"

using namespace velkaron;

namespace {

int failed = 0, passed = 0;
#define CHECK(cond) \
    ((cond) ? (void)++passed : (void)(++failed, std::fprintf(stderr, "line %d: %s\n", __LINE__, #cond)))

// Two distinct keys "k<i>" with the same hash (a birthday search: about 2^16 tries).
std::pair<std::string, std::string> colliding_keys() {
    std::unordered_map<std::uint32_t, std::string> seen;
    for (int i = 0;; ++i) {
        std::string key = "k" + std::to_string(i);
        const auto [at, added] = seen.emplace(key_hash(key), key);
        if (!added) return {at->second, key};
    }
}

// Element names of a list, in order.
std::string names(const ElementList& list) {
    std::string out;
    for (const GumboNode* element : list) out += gumbo_normalized_tagname(element->v.element.tag) + std::string(" ");
    return out;
}

void colliding_keys_answer_apart() {
    const auto [a, b] = colliding_keys();
    CHECK(a != b && key_hash(a) == key_hash(b));
    const std::string html = "<p class='" + a + " " + b + " " + a + "' id='" + a + "' data-x='" + a + "'>" + a +
                             "<br>" + b + "<br> " + a + " </p><i class='" + b + "' id='" + b + "' data-x='" + b +
                             "'>" + b + "</i><b class='" + a + "' data-x='" + a + "'>" + a + "</b>";
    const Tree tree(html);
    const ElementIndex& index = *tree.get_element_index();
    // key -> class list, id count, attribute list, text list
    const struct {
        std::string key;
        std::string classes, attribute, text;
        std::size_t ids;
    } rows[] = {{a, "p p b ", "p b ", "p p b ", 1}, {b, "p i ", "i ", "p i ", 1}, {a + "x", "", "", "", 0}};
    for (const auto& row : rows) {
        CHECK(names(index.elements_with_class(row.key)) == row.classes);
        CHECK(index.count_with_class(row.key) == row.classes.size() / 2);
        CHECK(index.class_positions(row.key).size() == row.classes.size() / 2);
        CHECK(names(index.elements_with_attribute("data-x", row.key)) == row.attribute);
        CHECK(names(index.elements_with_text(row.key)) == row.text);
        CHECK(index.count_with_id(row.key) == row.ids);
        CHECK((index.first_element_with_id(row.key) != nullptr) == (row.ids == 1));
    }
    CHECK(index.elements_with_attribute("data-y", a).empty() && index.elements_with_text("").empty());
    CHECK(tree.get_root()->count_elements_by_class(a) == 3 && tree.get_root()->count_elements_by_class(b) == 2);
}

// Thousands of elements whose classes, ids and texts repeat at random: every key's answer is
// the elements carrying it, in document order, as a plain walk over the elements finds them.
void large_index_in_document_order() {
    std::mt19937 random(7);
    std::string html;
    for (int i = 0; i < 3000; ++i) {
        const auto key = [&] { return "k" + std::to_string(random() % 40); };
        html += "<p class='" + key() + " " + key() + "' id='" + key() + "'>" + key() + "</p>";
    }
    Tree tree(html);
    const ElementIndex& index = *tree.get_element_index();
    for (int k = 0; k < 40; ++k) {
        const std::string key = "k" + std::to_string(k);
        ElementList classes, texts;
        std::size_t ids = 0;
        for (std::uint64_t i = 0; i < index.element_count(); ++i) {
            GumboNode* element = index.element_at(i);
            for (std::size_t n = class_occurrences(element, key); n > 0; --n) classes.push_back(element);
            for (std::size_t n = text_occurrences(element, key); n > 0; --n) texts.push_back(element);
            ids += id_occurrences(element, key);
        }
        CHECK(index.elements_with_class(key) == classes);
        CHECK(index.elements_with_text(key) == texts);
        CHECK(index.count_with_id(key) == ids);
    }
}

void tag_lookup_agrees_with_parser() {
    std::vector<std::string> names{"", "x", "DIV", "Div", "annotation-xml", "ANNOTATION-XML",
                                   "foreignobject", "a\xC3\x80", "\xC3\x80", "svg ", "tbody2"};
    for (int tag = 0; tag < GUMBO_TAG_UNKNOWN; ++tag) {
        std::string name = gumbo_normalized_tagname(static_cast<GumboTag>(tag));
        names.push_back(name);
        for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        names.push_back(name);
        names.push_back(name + "x");
        if (name.size() > 1) names.push_back(name.substr(1));
    }
    for (const std::string& name : names) {
        CHECK(tag_of_name(name) == gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size())));
    }
}

}  // namespace

int main() {
    colliding_keys_answer_apart();
    large_index_in_document_order();
    tag_lookup_agrees_with_parser();
    std::printf("test_element_index: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
