#include "document/element_index.h"

#include <chrono>

#include "document/class_tokens.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

const Ordinals no_positions;

// Calls visit(name, value) for each attribute the index files: both strings present.
template <typename Visit>
void for_each_indexed_attribute(const GumboNode* element, Visit&& visit) {
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && attribute->name != nullptr && attribute->value != nullptr) {
            visit(std::string_view(attribute->name), std::string_view(attribute->value));
        }
    }
}

// Calls visit(trimmed) for each text child the text index files: not blank once trimmed.
template <typename Visit>
void for_each_indexed_text(const GumboNode* element, Visit&& visit) {
    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (child == nullptr || child->type != GUMBO_NODE_TEXT || child->v.text.text == nullptr) {
            continue;
        }
        const std::string_view trimmed = trim_index_whitespace(child->v.text.text);
        if (!trimmed.empty()) visit(trimmed);
    }
}

}  // namespace

std::size_t class_occurrences(const GumboNode* element, std::string_view token) {
    std::size_t count = 0;
    for_each_indexed_attribute(element, [&](std::string_view name, std::string_view value) {
        if (name != "class") return;
        for_each_class_token(value, [&](std::string_view found) {
            count += found == token;
            return false;
        });
    });
    return count;
}

std::size_t id_occurrences(const GumboNode* element, std::string_view id) {
    return attribute_occurrences(element, "id", id);
}

std::size_t attribute_occurrences(const GumboNode* element, std::string_view name,
                                  std::string_view value) {
    std::size_t count = 0;
    for_each_indexed_attribute(element, [&](std::string_view n, std::string_view v) {
        count += n == name && v == value;
    });
    return count;
}

std::size_t text_occurrences(const GumboNode* element, std::string_view text) {
    std::size_t count = 0;
    for_each_indexed_text(element, [&](std::string_view trimmed) { count += trimmed == text; });
    return count;
}

void ElementIndex::build(GumboNode* root, const std::function<void(GumboNode*)>& prepare) {
    if (root == nullptr || built) return;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint32_t> open_positions;
    walk_elements_and_runs(
        root, 1000,
        [&](GumboNode* element) {
            if (prepare) prepare(element);
            const auto position = static_cast<std::uint32_t>(elements.size());
            index_element(element, position);
            text_buffer.open(position);
            open_positions.push_back(position);
            elements.push_back(element);
            ends.push_back(position + 1);
        },
        [&](GumboNode* run) {
            text_buffer.append(run->v.text.text, run->type == GUMBO_NODE_WHITESPACE);
        },
        [&](GumboNode*) {
            text_buffer.close(open_positions.back());
            ends[open_positions.back()] = static_cast<std::uint32_t>(elements.size());
            open_positions.pop_back();
        },
        [&](GumboNode* passed) {
            if (prepare && passed->type == GUMBO_NODE_TEMPLATE) prepare(passed);
        });
    for (KeyedPositions* map : {&class_map, &id_map, &attribute_map, &text_map}) map->seal();
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    build_duration = static_cast<double>(elapsed.count()) / 1000000000.0;
    built = true;
}

void ElementIndex::index_element(GumboNode* element, std::uint32_t position) {
    tag_map.at(element->v.element.tag).push_back(position);
    for_each_indexed_attribute(element, [&](std::string_view name, std::string_view value) {
        attribute_map.add(key_hash(name, value), position);
        if (name == "class") {
            for_each_class_token(value, [&](std::string_view token) {
                class_map.add(key_hash(token), position);
                return false;
            });
        } else if (name == "id") {
            id_map.add(key_hash(value), position);
        }
    });
    for_each_indexed_text(element, [&](std::string_view trimmed) { text_map.add(key_hash(trimmed), position); });
}

ElementSpan ElementIndex::elements_with_tag(const std::string& name) const {
    return ElementSpan(elements, tag_positions(name));
}

const Ordinals& ElementIndex::tag_positions(const std::string& name) const {
    const Ordinals* found = tag_map.find(name);
    return found == nullptr ? no_positions : *found;
}

Ordinals ElementIndex::class_positions(std::string_view token) const {
    Ordinals positions;
    for_each_class_position(token, [&](std::uint32_t position) { positions.push_back(position); });
    return positions;
}

ElementList ElementIndex::elements_with_class(const std::string& token) const {
    ElementList found;
    for_each_with_class(token, [&](GumboNode* element) { found.push_back(element); });
    return found;
}

std::size_t ElementIndex::count_with_id(std::string_view id) const {
    std::size_t count = 0;
    for_each_id_position(id, [&](std::uint32_t) { ++count; });
    return count;
}

std::size_t ElementIndex::count_with_class(std::string_view token) const {
    std::size_t count = 0;
    for_each_class_position(token, [&](std::uint32_t) { ++count; });
    return count;
}

GumboNode* ElementIndex::first_element_with_id(const std::string& id) const {
    GumboNode* first = nullptr;
    for_each_with_id(id, [&](GumboNode* element) {
        if (first == nullptr) first = element;
    });
    return first;
}

ElementList ElementIndex::elements_with_attribute(const std::string& name,
                                                  const std::string& value) const {
    ElementList found;
    attribute_map.for_each(
        key_hash(name, value),
        [&](std::uint32_t position) { return attribute_occurrences(elements[position], name, value); },
        [&](std::uint32_t position) { found.push_back(elements[position]); });
    return found;
}

ElementList ElementIndex::elements_with_text(const std::string& text) const {
    ElementList found;
    text_map.for_each(
        key_hash(text), [&](std::uint32_t position) { return text_occurrences(elements[position], text); },
        [&](std::uint32_t position) { found.push_back(elements[position]); });
    return found;
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
    tag_map.for_each([&bytes](const Ordinals& list) { bytes += list.capacity() * sizeof(std::uint32_t); });
    return bytes;
}

template <typename NodeAt>
NodeList ElementIndex::handles(std::size_t count, NodeAt&& node_at) const {
    if (tree != nullptr) return tree->wrap_nodes(count, node_at);
    NodeList found;
    found.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (GumboNode* element = node_at(i)) found.push_back(std::make_shared<Node>(element, nullptr));
    }
    return found;
}

NodeList ElementIndex::handles_for(const ElementList& list) const {
    return handles(list.size(), [&list](std::size_t i) { return list[i]; });
}

NodeList ElementIndex::handles_for(const ElementSpan& list) const {
    return handles(list.size(), [&list](std::size_t i) { return list[i]; });
}

}  // namespace velkaron
