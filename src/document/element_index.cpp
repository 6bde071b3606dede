#include "document/element_index.h"

#include <chrono>

#include "document/class_tokens.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

template <typename Map>
const typename Map::mapped_type* lookup(const Map& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

}  // namespace

void ElementIndex::build(GumboNode* root) {
    if (root == nullptr || built) return;
    const auto start = std::chrono::steady_clock::now();
    tag_map.clear();
    class_map.clear();
    id_map.clear();
    attribute_map.clear();
    text_map.clear();
    elements.clear();
    walk_elements(root, 1000, [this](GumboNode* element) {
        index_element(element);
        elements.push_back(element);
        return false;
    });
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    build_duration = static_cast<double>(elapsed.count()) / 1000000000.0;
    built = true;
}

void ElementIndex::index_element(GumboNode* element) {
    if (const char* name = element_name(element)) tag_map[name].push_back(element);

    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute == nullptr || attribute->name == nullptr || attribute->value == nullptr) {
            continue;
        }
        std::string key = attribute->name;
        key += '=';
        key += attribute->value;
        attribute_map[key].push_back(element);
        if (std::strcmp(attribute->name, "class") == 0) {
            for_each_class_token(attribute->value, [&](std::string_view token) {
                class_map[std::string(token)].push_back(element);
                return false;
            });
        } else if (std::strcmp(attribute->name, "id") == 0) {
            id_map.emplace(attribute->value, element);
        }
    }

    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (child == nullptr || child->type != GUMBO_NODE_TEXT || child->v.text.text == nullptr) {
            continue;
        }
        const std::string_view trimmed = trim_index_whitespace(child->v.text.text);
        if (!trimmed.empty()) text_map[std::string(trimmed)].push_back(element);
    }
}

const ElementList* ElementIndex::elements_with_tag(const std::string& name) const {
    return lookup(tag_map, name);
}

const ElementList* ElementIndex::elements_with_class(const std::string& token) const {
    return lookup(class_map, token);
}

GumboNode* ElementIndex::first_element_with_id(const std::string& id) const {
    auto found = lookup(id_map, id);
    return found == nullptr ? nullptr : *found;
}

const ElementList* ElementIndex::elements_with_attribute(const std::string& name,
                                                         const std::string& value) const {
    return lookup(attribute_map, name + "=" + value);
}

const ElementList* ElementIndex::elements_with_text(const std::string& text) const {
    return lookup(text_map, text);
}

GumboNode* ElementIndex::element_at(std::uint64_t position) const {
    return position < elements.size() ? elements[position] : nullptr;
}

NodeList ElementIndex::handles_for(const ElementList& list) const {
    NodeList handles;
    handles.reserve(list.size());
    for (GumboNode* element : list) {
        if (element == nullptr) continue;
        handles.push_back(tree != nullptr ? tree->wrap_node(element)
                                          : std::make_shared<Node>(element, nullptr));
    }
    return handles;
}

}  // namespace velkaron
