#include "extract/zero_context_index.h"

#include <cstring>

#include "document/class_tokens.h"
#include "document/element_index.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "node/tree_walk.h"

namespace velkaron {

namespace {

std::string query_key(const ZeroContextQuery& query) {
    std::string key = std::to_string(static_cast<std::int32_t>(query.kind));
    key += ':';
    key += query.first;
    key += ':';
    key += query.second;
    return key;
}


}  // namespace

void ZeroContextIndex::add(GumboNode* element) {
    const std::uint64_t position = elements.size();
    elements.push_back(element);
    tag_map.at(element->v.element.tag).push_back(position);
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute == nullptr || attribute->name == nullptr || attribute->value == nullptr ||
            std::strcmp(attribute->name, "class") != 0) {
            continue;
        }
        for_each_class_token(attribute->value, [&](std::string_view token) {
            class_map.add(token, position);
            return false;
        });
    }
}

const Positions& ZeroContextIndex::positions_with_tag(const std::string& tag_name) const {
    static const Positions none;
    const Positions* found = tag_map.find(tag_name);
    return found == nullptr ? none : *found;
}

QueryResult ZeroContextIndex::answer(const ZeroContextQuery& query) const {
    switch (query.kind) {
        case ZeroContextQuery::elements_by_tag:
            return positions_with_tag(query.first);
        case ZeroContextQuery::elements_by_class:
            return class_map.list(query.first);
        case ZeroContextQuery::count_by_tag:
            return static_cast<std::uint64_t>(positions_with_tag(query.first).size());
        case ZeroContextQuery::count_by_class:
            return static_cast<std::uint64_t>(class_map.count(query.first));
    }
    return Positions{};
}

const QueryResult& ZeroContextIndex::cached_answer(const ZeroContextQuery& query) {
    return result_cache.get(query_key(query), [&] { return answer(query); });
}

std::vector<QueryResult> ZeroContextIndex::execute_queries(
    const std::vector<ZeroContextQuery>& queries) {
    std::vector<QueryResult> results;
    results.reserve(queries.size());
    for (const ZeroContextQuery& query : queries) results.push_back(cached_answer(query));
    return results;
}

std::string ZeroContextIndex::element_text(GumboNode* node) {
    std::string text;
    walk_preorder(
        node, 64, [](const GumboNode* n) { return is_element_node(n); },
        [&text](GumboNode* n) {
            if (n->type == GUMBO_NODE_TEXT && n->v.text.text != nullptr) text += n->v.text.text;
            return false;
        });
    return text;
}

const TextBuffer* ZeroContextIndex::text_buffer() const {
    // The element index files the same elements in the same order when both were filled by
    // the tree's one walk.
    const ElementIndex* index = tree != nullptr ? tree->get_element_index() : nullptr;
    if (index == nullptr || index->element_count() != elements.size() || !index->text().usable()) {
        return nullptr;
    }
    return &index->text();
}

std::vector<std::string> ZeroContextIndex::texts_at(const Positions& positions) const {
    const TextBuffer* buffer = text_buffer();
    std::vector<std::string> texts;
    texts.reserve(positions.size());
    for (std::uint64_t position : positions) {
        std::string text = buffer != nullptr
                               ? buffer->text_without_whitespace_nodes(static_cast<std::uint32_t>(position))
                               : element_text(elements[position]);
        if (!text.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

std::vector<std::string> ZeroContextIndex::text_by_tag(const std::string& tag_name) const {
    return texts_at(positions_with_tag(tag_name));
}

std::vector<std::string> ZeroContextIndex::text_by_class(const std::string& class_token) const {
    return texts_at(class_map.list(class_token));
}

std::vector<std::string> ZeroContextIndex::attribute_values_by_tag(
    const std::string& tag_name, const std::string& attribute_name) const {
    std::vector<std::string> values;
    const Positions& positions = positions_with_tag(tag_name);
    values.reserve(positions.size());
    for (std::uint64_t position : positions) {
        const GumboVector& attributes = elements[position]->v.element.attributes;
        for (unsigned int i = 0; i < attributes.length; ++i) {
            const GumboAttribute* attribute = attribute_at(&attributes, i);
            if (attribute != nullptr && attribute->value != nullptr &&
                bytes_equal(attribute->name, attribute_name)) {
                values.emplace_back(attribute->value);
                break;
            }
        }
    }
    return values;
}

std::size_t ZeroContextIndex::memory_bytes() const {
    std::size_t bytes = elements.capacity() * sizeof(GumboNode*) + class_map.memory_bytes();
    tag_map.for_each([&bytes](const Positions& list) { bytes += list.capacity() * sizeof(std::uint64_t); });
    return bytes;
}

NodeList ZeroContextIndex::handles_for_positions(const Positions& positions) const {
    return tree->wrap_nodes(positions.size(), [&](std::size_t i) {
        return positions[i] < elements.size() ? elements[positions[i]] : nullptr;
    });
}

}  // namespace velkaron
