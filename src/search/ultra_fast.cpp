// The index-free sequential strategy, and the general fallback of the others: one pre-order
// walk with the tag name resolved once to a tag number.

#include "document/tree.h"
#include "node/node.h"
#include "node/tree_walk.h"
#include "search/element_tests.h"
#include "search/handles.h"

namespace velkaron {

namespace {

constexpr std::size_t walk_capacity = 64;

}  // namespace

NodeList Node::find_all_ultra_fast(const std::string& tag_name, const AttributeMap& attrs) const {
    if (gumbo() == nullptr || owner() == nullptr) return {};
    const MatchCriteria criteria{tag_name, attrs};
    switch (query_shape(criteria)) {
        case QueryShape::name_only:
            return wrap_all(*owner(), collect_elements(gumbo(), walk_capacity, TagTest(tag_name)));
        case QueryShape::class_only:
            return wrap_all(*owner(), collect_elements(gumbo(), walk_capacity,
                                                       ClassTokenTest{single_value(criteria)}));
        default:
            return wrap_all(*owner(),
                            collect_elements(gumbo(), walk_capacity, CriteriaTest{criteria}));
    }
}

NodeHandle Node::find_ultra_fast(const std::string& tag_name, const AttributeMap& attrs) const {
    if (gumbo() == nullptr || owner() == nullptr) return nullptr;
    const MatchCriteria criteria{tag_name, attrs};
    switch (query_shape(criteria)) {
        case QueryShape::id_only:
            return owner()->wrap_node(
                first_element(gumbo(), walk_capacity, IdTest{single_value(criteria)}));
        case QueryShape::name_only:
            return owner()->wrap_node(first_element(gumbo(), walk_capacity, TagTest(tag_name)));
        default:
            // Class-only queries included: here the class value is compared whole.
            return owner()->wrap_node(
                first_element(gumbo(), walk_capacity, CriteriaTest{criteria}));
    }
}

}  // namespace velkaron
