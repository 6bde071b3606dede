#pragma once

#include <gumbo.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "document/element_positions.h"
#include "document/keyed_positions.h"
#include "document/tag_table.h"
#include "document/text_buffer.h"
#include "node/handle_types.h"

namespace velkaron {

using ElementList = std::vector<GumboNode*>;
// Positions in the index's document order: 4 bytes an element where a pointer takes 8.
using Ordinals = std::vector<std::uint32_t>;

// How many times each kind of key occurs in an element, counted as the index files them.
std::size_t class_occurrences(const GumboNode* element, std::string_view token);
std::size_t id_occurrences(const GumboNode* element, std::string_view id);
std::size_t attribute_occurrences(const GumboNode* element, std::string_view name, std::string_view value);
std::size_t text_occurrences(const GumboNode* element, std::string_view text);

// A list of positions read as the elements at them, in list order.
class ElementSpan {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = GumboNode*;
        using difference_type = std::ptrdiff_t;
        using pointer = GumboNode* const*;
        using reference = GumboNode*;

        iterator(GumboNode* const* elements, const std::uint32_t* at) : elements(elements), at(at) {}
        GumboNode* operator*() const { return elements[*at]; }
        iterator& operator++() {
            ++at;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++at;
            return before;
        }
        bool operator==(const iterator& other) const { return at == other.at; }
        bool operator!=(const iterator& other) const { return at != other.at; }

    private:
        GumboNode* const* elements;
        const std::uint32_t* at;
    };

    ElementSpan(const ElementList& elements, const Ordinals& positions)
        : elements(elements.data()), positions(&positions) {}

    iterator begin() const { return {elements, positions->data()}; }
    iterator end() const { return {elements, positions->data() + positions->size()}; }
    std::size_t size() const { return positions->size(); }
    bool empty() const { return positions->empty(); }
    GumboNode* operator[](std::size_t i) const { return elements[(*positions)[i]]; }
    GumboNode* front() const { return (*this)[0]; }
    ElementList list() const { return ElementList(begin(), end()); }

private:
    GumboNode* const* elements;
    const Ordinals* positions;
};

// Maps built once at parse time so that tag, class, id, attribute, text and position lookups
// answer without walking the document. Immutable once built; read without locks by the
// interpreter thread and by the parallel search workers. Elements are filed by position, and
// keys by hash only: the strings stay the parser's, so indexing copies no text.
class ElementIndex {
public:
    explicit ElementIndex(Tree* tree) : tree(tree) {}

    // Indexes every element at and below `root`, once. `prepare` sees each element ahead of
    // indexing it, to mend what the parser left, and each template the index passes over; the
    // recorded build duration covers it.
    void build(GumboNode* root, const std::function<void(GumboNode*)>& prepare = {});

    bool is_built() const { return built; }
    double build_seconds() const { return build_duration; }
    std::uint64_t element_count() const { return elements.size(); }

    // Empty lists (or null) when the key is absent.
    ElementSpan elements_with_tag(const std::string& name) const;
    ElementList elements_with_class(const std::string& token) const;
    GumboNode* first_element_with_id(const std::string& id) const;
    ElementList elements_with_attribute(const std::string& name, const std::string& value) const;
    ElementList elements_with_text(const std::string& text) const;
    GumboNode* element_at(std::uint64_t position) const;
    const std::vector<GumboNode*>& all_elements() const { return elements; }

    // The tag lists by tag number, as elements.
    class TagLists {
    public:
        explicit TagLists(const ElementIndex& index) : index(index) {}
        ElementSpan at(GumboTag tag) const { return {index.elements, index.tag_map.at(tag)}; }
        template <typename Visit>
        void for_each(Visit&& visit) const {
            index.tag_map.for_each([&](const Ordinals& list) { visit(ElementSpan(index.elements, list)); });
        }

    private:
        const ElementIndex& index;
    };
    TagLists elements_by_tag() const { return TagLists(*this); }

    // The same lists as positions: the tag's elements (empty for a name no element can carry),
    // and an element once per repetition of the class token.
    const Ordinals& tag_positions(const std::string& name) const;
    Ordinals class_positions(std::string_view token) const;

    // Every element with the id, or with the class token, in document order.
    template <typename Visit>
    void for_each_with_id(std::string_view id, Visit&& visit) const {
        for_each_id_position(id, [&](std::uint32_t position) { visit(elements[position]); });
    }
    template <typename Visit>
    void for_each_with_class(std::string_view token, Visit&& visit) const {
        for_each_class_position(token, [&](std::uint32_t position) { visit(elements[position]); });
    }
    template <typename Visit>
    void for_each_id_position(std::string_view id, Visit&& visit) const {
        id_map.for_each(
            key_hash(id), [&](std::uint32_t position) { return id_occurrences(elements[position], id); },
            visit);
    }
    template <typename Visit>
    void for_each_class_position(std::string_view token, Visit&& visit) const {
        class_map.for_each(
            key_hash(token),
            [&](std::uint32_t position) { return class_occurrences(elements[position], token); },
            visit);
    }
    // The position of each element filed under the hash of the class token (or id) once, in
    // document order: a superset of those carrying it, listed without reading the elements,
    // for callers that test the class (or id) themselves. The count is an upper bound of the
    // list's length.
    template <typename Visit>
    void for_each_class_candidate(std::string_view token, Visit&& visit) const {
        class_map.for_each_filed(key_hash(token), visit);
    }
    template <typename Visit>
    void for_each_id_candidate(std::string_view id, Visit&& visit) const {
        id_map.for_each_filed(key_hash(id), visit);
    }
    std::size_t class_candidate_count(std::string_view token) const { return class_map.filed_count(key_hash(token)); }
    std::size_t id_candidate_count(std::string_view id) const { return id_map.filed_count(key_hash(id)); }
    const Ordinals& tag_positions(GumboTag tag) const { return tag_map.at(tag); }
    std::size_t count_with_id(std::string_view id) const;
    std::size_t count_with_class(std::string_view token) const;

    // The document's text runs; element positions are those of all_elements().
    const TextBuffer& text() const { return text_buffer; }
    // The element's position in document order, or ElementPositions::absent for any other node.
    std::uint32_t position_of(const GumboNode* node) const;

    // Where the subtree of the element at `position` ends: the position of the first element
    // after it that is not its descendant (element_count() for the last ones).
    std::uint32_t subtree_end(std::uint32_t position) const {
        return position < ends.size() ? ends[position] : static_cast<std::uint32_t>(elements.size());
    }

    // Heap bytes of the lists, the element list, the text buffer and the position table.
    std::size_t memory_bytes() const;

    // Handles for an element list, in list order, repetitions kept.
    NodeList handles_for(const ElementList& list) const;
    NodeList handles_for(const ElementSpan& list) const;

private:
    void index_element(GumboNode* element, std::uint32_t position);
    template <typename NodeAt>
    NodeList handles(std::size_t count, NodeAt&& node_at) const;

    Tree* tree;
    bool built = false;
    TagTable<Ordinals> tag_map;
    KeyedPositions class_map;
    // Every element per id value; lookups take the first in document order.
    KeyedPositions id_map;
    KeyedPositions attribute_map;
    KeyedPositions text_map;
    ElementList elements;
    // Per element, the end of its subtree's positions: recorded as the build's walk leaves it.
    Ordinals ends;
    TextBuffer text_buffer;
    // Filled on the first lookup of an element other than the root.
    mutable std::once_flag positions_filled;
    mutable ElementPositions positions;
    double build_duration = 0.0;
};

}  // namespace velkaron
