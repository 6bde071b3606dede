// find_all and find: ready answers from the prebuilt indexes when the search starts at the
// document's root element, specialised walks for the common query shapes elsewhere, the tag's
// index list for a tag with attributes, and the general walk for everything else.

#include "document/element_index.h"
#include "document/tree.h"
#include "extract/zero_context_index.h"
#include "node/node.h"
#include "node/tree_walk.h"
#include "search/element_tests.h"
#include "search/handles.h"
#include "search/tag_candidates.h"

namespace velkaron {

namespace {

constexpr std::size_t walk_capacity = 128;

// A class list is gathered from the hashed index once and cached; a tag list is read in place.
NodeList from_zero_context_index(ZeroContextIndex& index, const MatchCriteria& criteria) {
    const ZeroContextQuery query{ZeroContextQuery::elements_by_class, single_value(criteria),
                                 std::string()};
    return index.handles_for_positions(std::get<Positions>(index.cached_answer(query)));
}

NodeList from_element_index(const ElementIndex& index, const MatchCriteria& criteria,
                            QueryShape shape) {
    if (shape == QueryShape::name_only) {
        return index.handles_for(index.elements_with_tag(criteria.tag_name));
    }
    return index.handles_for(index.elements_with_class(single_value(criteria)));
}

NodeList find_all_by_name(const Tree& tree, GumboNode* start, const std::string& tag_name) {
    return wrap_all(tree, collect_elements(start, walk_capacity, TagTest(tag_name)));
}

}  // namespace

NodeList Node::find_all(const std::string& tag_name, const AttributeMap& attrs) const {
    if (gumbo() == nullptr || owner() == nullptr) return {};
    const MatchCriteria criteria{tag_name, attrs};
    const QueryShape shape = query_shape(criteria);
    const bool indexed_shape = shape == QueryShape::name_only || shape == QueryShape::class_only;

    if (is_root_of_tree() && indexed_shape) {
        ZeroContextIndex* zero_context = owner()->get_zero_context_index();
        if (zero_context != nullptr && shape == QueryShape::class_only) {
            return from_zero_context_index(*zero_context, criteria);
        }
        const ElementIndex* index = owner()->get_element_index();
        if (index != nullptr && index->is_built()) {
            return from_element_index(*index, criteria, shape);
        }
    }
    if (shape == QueryShape::name_only) return find_all_by_name(*owner(), gumbo(), tag_name);
    if (shape == QueryShape::class_only) {
        return wrap_all(*owner(), collect_elements(gumbo(), walk_capacity,
                                                   ClassTokenTest{single_value(criteria)}));
    }
    return wrap_all(*owner(), collect_tagged(*owner(), gumbo(), tag_name, walk_capacity,
                                             CriteriaTest{criteria}));
}

NodeHandle Node::find(const std::string& tag_name, const AttributeMap& attrs) const {
    if (gumbo() == nullptr || owner() == nullptr) return nullptr;
    const MatchCriteria criteria{tag_name, attrs};
    const QueryShape shape = query_shape(criteria);

    const ElementIndex* index = owner()->get_element_index();
    if (is_root_of_tree() && index != nullptr && index->is_built()) {
        if (shape == QueryShape::id_only) {
            return owner()->wrap_node(index->first_element_with_id(single_value(criteria)));
        }
        if (shape == QueryShape::name_only) {
            const ElementSpan found = index->elements_with_tag(tag_name);
            return found.empty() ? nullptr : owner()->wrap_node(found.front());
        }
    }
    if (shape == QueryShape::id_only) {
        return owner()->wrap_node(
            first_element(gumbo(), walk_capacity, IdTest{single_value(criteria)}));
    }
    if (shape == QueryShape::name_only) {
        return owner()->wrap_node(first_element(gumbo(), walk_capacity, TagTest(tag_name)));
    }
    // Class-only queries included: here the class value is compared whole.
    return owner()->wrap_node(
        first_tagged(*owner(), gumbo(), tag_name, walk_capacity, CriteriaTest{criteria}));
}

}  // namespace velkaron
