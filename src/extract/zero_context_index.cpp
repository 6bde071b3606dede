#include "extract/zero_context_index.h"

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

const ElementIndex& ZeroContextIndex::index() const { return *tree->get_element_index(); }

QueryResult ZeroContextIndex::answer(const ZeroContextQuery& query) const {
    switch (query.kind) {
        case ZeroContextQuery::elements_by_tag:
            return index().tag_positions(query.first);
        case ZeroContextQuery::elements_by_class:
            return index().class_positions(query.first);
        case ZeroContextQuery::count_by_tag:
            return static_cast<std::uint64_t>(index().tag_positions(query.first).size());
        case ZeroContextQuery::count_by_class:
            return static_cast<std::uint64_t>(index().count_with_class(query.first));
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

std::vector<std::string> ZeroContextIndex::texts_at(const Positions& positions) const {
    const TextBuffer& buffer = index().text();
    std::vector<std::string> texts;
    texts.reserve(positions.size());
    for (std::uint32_t position : positions) {
        std::string text = buffer.usable() ? buffer.text_without_whitespace_nodes(position)
                                           : element_text(index().element_at(position));
        if (!text.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

std::vector<std::string> ZeroContextIndex::text_by_tag(const std::string& tag_name) const {
    return texts_at(index().tag_positions(tag_name));
}

std::vector<std::string> ZeroContextIndex::text_by_class(const std::string& class_token) const {
    return texts_at(index().class_positions(class_token));
}

std::vector<std::string> ZeroContextIndex::attribute_values_by_tag(
    const std::string& tag_name, const std::string& attribute_name) const {
    std::vector<std::string> values;
    const Positions& positions = index().tag_positions(tag_name);
    values.reserve(positions.size());
    for (std::uint32_t position : positions) {
        const GumboVector& attributes = index().element_at(position)->v.element.attributes;
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

NodeList ZeroContextIndex::handles_for_positions(const Positions& positions) const {
    const ElementIndex& elements = index();
    return tree->wrap_nodes(positions.size(), [&](std::size_t i) { return elements.element_at(positions[i]); });
}

}  // namespace velkaron
