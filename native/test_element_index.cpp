// The element index files keys by a 32-bit hash and reads the keys back from the elements: two
// keys that share a hash, on one element or on two, must still answer apart, each element once
// per occurrence, in document order.

#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>

#include "document/element_index.h"
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

}  // namespace

int main() {
    colliding_keys_answer_apart();
    std::printf("test_element_index: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
