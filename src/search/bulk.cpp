// Bulk search: from the root element, a candidate list from one element-index map filtered in
// one pass, with handles made only for the survivors. Elsewhere, find_all's answer.

#include <string_view>

#include "document/element_index.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"
#include "search/handles.h"

namespace velkaron {

namespace {

// Class values compared as space-separated text: V holds when " V " occurs in " S ".
bool class_value_holds(std::string_view actual, const std::string& required) {
    if (required.size() > actual.size()) return false;
    if (!required.empty() && actual.find(required) == std::string_view::npos) return false;
    const std::string padded_actual = " " + std::string(actual) + " ";
    const std::string padded_required = " " + required + " ";
    return padded_actual.find(padded_required) != std::string::npos;
}

const GumboAttribute* first_complete_attribute_named(const GumboNode* element,
                                                     const std::string& name) {
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && attribute->value != nullptr &&
            bytes_equal(attribute->name, name)) {
            return attribute;
        }
    }
    return nullptr;
}

bool survives_filter(const GumboNode* candidate, const std::string& tag_name,
                     const AttributeMap& attrs) {
    if (!is_element_node(candidate)) return false;
    if (!tag_name.empty() && !bytes_equal(element_name(candidate), tag_name)) return false;
    for (const auto& [name, value] : attrs) {
        const GumboAttribute* attribute = first_complete_attribute_named(candidate, name);
        if (attribute == nullptr) return false;
        const bool holds = name == "class" ? class_value_holds(attribute->value, value)
                                           : bytes_equal(attribute->value, value);
        if (!holds) return false;
    }
    return true;
}

ElementList choose_candidates(const ElementIndex& index, const std::string& tag_name,
                              const AttributeMap& attrs) {
    if (!tag_name.empty()) return index.elements_with_tag(tag_name).list();
    if (attrs.size() == 1) {
        const auto& [key, value] = *attrs.begin();
        if (key == "class") return index.elements_with_class(value);
        if (key == "id") {
            GumboNode* found = index.first_element_with_id(value);
            return found == nullptr ? ElementList{} : ElementList{found};
        }
    }
    ElementList candidates;
    if (attrs.empty()) return candidates;
    // Grouped by element name, in the tag map's own order.
    index.elements_by_tag().for_each([&candidates](const ElementSpan& group) {
        candidates.insert(candidates.end(), group.begin(), group.end());
    });
    return candidates;
}

NodeList bulk_search(const ElementIndex& index, const std::string& tag_name,
                     const AttributeMap& attrs) {
    const ElementList candidates = choose_candidates(index, tag_name, attrs);
    ElementList survivors;
    survivors.reserve(candidates.size());
    for (GumboNode* candidate : candidates) {
        if (survives_filter(candidate, tag_name, attrs)) survivors.push_back(candidate);
    }
    return index.handles_for(survivors);
}

}  // namespace

NodeList Node::find_all_bulk(const std::string& tag_name, const AttributeMap& attrs) const {
    if (gumbo() == nullptr || owner() == nullptr) return {};
    const ElementIndex* index = owner()->get_element_index();
    if (is_root_of_tree() && index != nullptr && index->is_built()) {
        return bulk_search(*index, tag_name, attrs);
    }
    // Below the root find_all answers as the walk would, from the tag's index list where it can;
    // from the root it could differ (class tokens listed per repetition).
    return is_root_of_tree() ? find_all_ultra_fast(tag_name, attrs) : find_all(tag_name, attrs);
}

NodeHandle Node::find_bulk(const std::string& tag_name, const AttributeMap& attrs) const {
    return first_or_null(find_all_bulk(tag_name, attrs));
}

NodeList Node::find_descendants_by_tag(const std::string& tag_name) const {
    NodeList result;
    walk_preorder(gumbo(), 64, is_container_node, [&](GumboNode* visited) {
        if (visited != gumbo() && is_element_node(visited) &&
            bytes_equal(element_name(visited), tag_name)) {
            result.push_back(handle_for(visited));
        }
        return false;
    });
    return result;
}

}  // namespace velkaron
