// The bounded query-result cache: it keeps at most its capacity, evicts the least recently
// used answer, computes only on a miss, and the whole-document counts it serves stay right
// however many distinct keys are asked.

#include <cstdio>
#include <string>

#include "document/tree.h"
#include "extract/result_cache.h"
#include "extract/zero_context_index.h"
#include "node/node.h"

using namespace velkaron;

namespace {

int failed = 0, passed = 0;
#define CHECK(cond) \
    ((cond) ? (void)++passed : (void)(++failed, std::fprintf(stderr, "line %d: %s\n", __LINE__, #cond)))

void eviction_order() {
    ResultCache<int> cache(2);
    int computed = 0;
    auto make = [&computed](int value) { return [&computed, value] { ++computed; return value; }; };
    CHECK(cache.get("a", make(1)) == 1);
    CHECK(cache.get("b", make(2)) == 2);
    CHECK(cache.get("a", make(9)) == 1);  // a hit, and a is now the most recent
    CHECK(cache.get("c", make(3)) == 3);  // evicts b
    CHECK(cache.size() == 2 && computed == 3);
    CHECK(cache.get("a", make(9)) == 1 && computed == 3);
    CHECK(cache.get("b", make(4)) == 4 && computed == 4);
}

void many_distinct_keys() {
    std::string html;
    for (int i = 0; i < 3000; ++i) html += "<p class='c" + std::to_string(i % 1000) + "'>x</p>";
    Tree tree(html);
    const NodeHandle root = tree.get_root();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 1200; ++i) {
            const std::uint64_t expected = i < 1000 ? 3 : 0;
            CHECK(root->count_elements_by_class("c" + std::to_string(i)) == expected);
        }
    }
    CHECK(root->find_all("", {{"class", "c7"}}).size() == 3);
}

}  // namespace

int main() {
    eviction_order();
    many_distinct_keys();
    std::printf("test_result_cache: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
