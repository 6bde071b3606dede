#pragma once

#include <gumbo.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "document/element_positions.h"
#include "document/keyed_lists.h"
#include "document/tag_table.h"
#include "document/text_buffer.h"
#include "node/handle_types.h"

namespace velkaron {

using ElementList = std::vector<GumboNode*>;

// An attribute's name and value as the parser stores them.
struct AttributeKey {
    std::string_view name;
    std::string_view value;
    bool operator==(const AttributeKey& other) const {
        return name == other.name && value == other.value;
    }
};

struct AttributeKeyHash {
    std::size_t operator()(const AttributeKey& key) const {
        const std::size_t h = std::hash<std::string_view>()(key.name);
        return h ^ (std::hash<std::string_view>()(key.value) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

// Maps built once at parse time so that attribute, text and position lookups answer by hash
// lookup instead of walking the document. Immutable once built; read without locks by the
// interpreter thread and by the parallel search workers. Keys are views of the parser's own
// strings, which live as long as the tree: indexing copies no text.
class ElementIndex {
public:
    explicit ElementIndex(Tree* tree) : tree(tree) {}

    // Called with each element in the index's walk: `before` ahead of indexing it (to repair
    // what the parser left), `after` once it is indexed (to fill the zero-context index without
    // walking the tree again). The recorded build duration covers both.
    struct Hooks {
        std::function<void(GumboNode*)> before;
        std::function<void(GumboNode*)> after;
    };

    // Indexes every element at and below `root`, once.
    void build(GumboNode* root, const Hooks& hooks = {});

    bool is_built() const { return built; }
    double build_seconds() const { return build_duration; }
    std::uint64_t element_count() const { return elements.size(); }

    // Empty lists (or null) when the key is absent.
    const ElementList& elements_with_tag(const std::string& name) const;
    ElementList elements_with_class(const std::string& token) const;
    GumboNode* first_element_with_id(const std::string& id) const;
    ElementList elements_with_attribute(const std::string& name, const std::string& value) const;
    ElementList elements_with_text(const std::string& text) const;
    GumboNode* element_at(std::uint64_t position) const;
    const std::vector<GumboNode*>& all_elements() const { return elements; }
    const TagTable<ElementList>& elements_by_tag() const { return tag_map; }

    // Every element with the id, or with the class token, in document order.
    template <typename Visit>
    void for_each_with_id(std::string_view id, Visit&& visit) const {
        id_map.for_each(id, visit);
    }
    template <typename Visit>
    void for_each_with_class(std::string_view token, Visit&& visit) const {
        class_map.for_each(token, visit);
    }
    std::size_t count_with_id(std::string_view id) const { return id_map.count(id); }
    std::size_t count_with_class(std::string_view token) const { return class_map.count(token); }

    // The document's text runs; element positions are those of all_elements().
    const TextBuffer& text() const { return text_buffer; }
    // The element's position in document order, or ElementPositions::absent for any other node.
    std::uint32_t position_of(const GumboNode* node) const;

    // Heap bytes of the maps, the element list, the text buffer and the position table.
    std::size_t memory_bytes() const;

    // Handles for an element list, in list order, repetitions kept.
    NodeList handles_for(const ElementList& list) const;

private:
    void index_element(GumboNode* element);

    Tree* tree;
    bool built = false;
    TagTable<ElementList> tag_map;
    KeyedLists<std::string_view, GumboNode*> class_map;
    // Every element per id value; lookups take the first in document order.
    KeyedLists<std::string_view, GumboNode*> id_map;
    KeyedLists<AttributeKey, GumboNode*, AttributeKeyHash> attribute_map;
    KeyedLists<std::string_view, GumboNode*> text_map;
    ElementList elements;
    TextBuffer text_buffer;
    // Filled on the first lookup of an element other than the root.
    mutable std::once_flag positions_filled;
    mutable ElementPositions positions;
    double build_duration = 0.0;
};

}  // namespace velkaron
