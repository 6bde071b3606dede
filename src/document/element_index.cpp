#include "document/element_index.h"

#include <chrono>

#include "document/class_tokens.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

const ElementList no_elements;

}  // namespace

void ElementIndex::build(GumboNode* root, const Hooks& hooks) {
    if (root == nullptr || built) return;
    const auto start = std::chrono::steady_clock::now();
    tag_map.clear();
    class_map.clear();
    id_map.clear();
    attribute_map.clear();
    text_map.clear();
    elements.clear();
    std::vector<std::uint32_t> open_positions;
    walk_elements_and_runs(
        root, 1000,
        [&](GumboNode* element) {
            if (hooks.before) hooks.before(element);
            index_element(element);
            text_buffer.open(static_cast<std::uint32_t>(elements.size()));
            open_positions.push_back(static_cast<std::uint32_t>(elements.size()));
            elements.push_back(element);
            if (hooks.after) hooks.after(element);
        },
        [&](GumboNode* run) {
            text_buffer.append(run->v.text.text, run->type == GUMBO_NODE_WHITESPACE);
        },
        [&](GumboNode*) {
            text_buffer.close(open_positions.back());
            open_positions.pop_back();
        });
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    build_duration = static_cast<double>(elapsed.count()) / 1000000000.0;
    built = true;
}

void ElementIndex::index_element(GumboNode* element) {
    tag_map.at(element->v.element.tag).push_back(element);

    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute == nullptr || attribute->name == nullptr || attribute->value == nullptr) {
            continue;
        }
        const std::string_view name = attribute->name;
        const std::string_view value = attribute->value;
        attribute_map.add(AttributeKey{name, value}, element);
        if (name == "class") {
            for_each_class_token(value, [&](std::string_view token) {
                class_map.add(token, element);
                return false;
            });
        } else if (name == "id") {
            id_map.add(value, element);
        }
    }

    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (child == nullptr || child->type != GUMBO_NODE_TEXT || child->v.text.text == nullptr) {
            continue;
        }
        const std::string_view trimmed = trim_index_whitespace(child->v.text.text);
        if (!trimmed.empty()) text_map.add(trimmed, element);
    }
}

const ElementList& ElementIndex::elements_with_tag(const std::string& name) const {
    const ElementList* found = tag_map.find(name);
    return found == nullptr ? no_elements : *found;
}

ElementList ElementIndex::elements_with_class(const std::string& token) const {
    return class_map.list(token);
}

GumboNode* ElementIndex::first_element_with_id(const std::string& id) const {
    GumboNode* const* found = id_map.first(id);
    return found == nullptr ? nullptr : *found;
}

ElementList ElementIndex::elements_with_attribute(const std::string& name,
                                                  const std::string& value) const {
    return attribute_map.list(AttributeKey{name, value});
}

ElementList ElementIndex::elements_with_text(const std::string& text) const {
    return text_map.list(text);
}

GumboNode* ElementIndex::element_at(std::uint64_t position) const {
    return position < elements.size() ? elements[position] : nullptr;
}

std::uint32_t ElementIndex::position_of(const GumboNode* node) const {
    if (!built || node == nullptr || elements.empty()) return ElementPositions::absent;
    if (node == elements.front()) return 0;
    std::call_once(positions_filled, [this] { positions.fill(elements); });
    return positions.find(node);
}

std::size_t ElementIndex::memory_bytes() const {
    std::size_t bytes = class_map.memory_bytes() + id_map.memory_bytes() +
                        attribute_map.memory_bytes() + text_map.memory_bytes() +
                        elements.capacity() * sizeof(GumboNode*) + text_buffer.memory_bytes() +
                        positions.memory_bytes();
    tag_map.for_each([&bytes](const ElementList& list) { bytes += list.capacity() * sizeof(GumboNode*); });
    return bytes;
}

NodeList ElementIndex::handles_for(const ElementList& list) const {
    if (tree != nullptr) return tree->wrap_nodes(list.size(), [&list](std::size_t i) { return list[i]; });
    NodeList handles;
    handles.reserve(list.size());
    for (GumboNode* element : list) {
        if (element != nullptr) handles.push_back(std::make_shared<Node>(element, nullptr));
    }
    return handles;
}

}  // namespace velkaron
