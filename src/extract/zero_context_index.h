#pragma once

#include <gumbo.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "document/keyed_lists.h"
#include "document/tag_table.h"
#include "extract/result_cache.h"
#include "node/handle_types.h"

namespace velkaron {

class TextBuffer;

using Positions = std::vector<std::uint64_t>;

struct ZeroContextQuery {
    enum Kind : std::int32_t {
        elements_by_tag = 0,
        elements_by_class = 1,
        count_by_tag = 3,
        count_by_class = 4,
    };
    Kind kind;
    std::string first;
    std::string second;
};

// Positions for the element kinds, a count for the count kinds.
using QueryResult = std::variant<Positions, std::uint64_t>;

// Every element in document order, filed by tag name and by class token, so whole-document
// questions are answered without walking the tree and without a handle per match.
class ZeroContextIndex {
public:
    static constexpr std::size_t result_cache_entries = 128;

    // Starts empty; fill it with add() in document order.
    explicit ZeroContextIndex(const Tree* tree) : tree(tree) {}

    void add(GumboNode* element);

    std::vector<QueryResult> execute_queries(const std::vector<ZeroContextQuery>& queries);
    // The answer to one query through the result cache, without copying a cached answer.
    const QueryResult& cached_answer(const ZeroContextQuery& query);
    std::vector<std::string> text_by_tag(const std::string& tag_name) const;
    std::vector<std::string> text_by_class(const std::string& class_token) const;
    std::vector<std::string> attribute_values_by_tag(const std::string& tag_name,
                                                     const std::string& attribute_name) const;
    NodeList handles_for_positions(const Positions& positions) const;

    // Heap bytes of the element list and both maps (not of cached answers).
    std::size_t memory_bytes() const;

    // Whitespace-only runs contribute nothing here, unlike Node::get_text.
    static std::string element_text(GumboNode* node);

private:
    QueryResult answer(const ZeroContextQuery& query) const;
    std::vector<std::string> texts_at(const Positions& positions) const;
    // The tree's text buffer when its positions are this index's, else null.
    const TextBuffer* text_buffer() const;
    const Positions& positions_with_tag(const std::string& tag_name) const;

    const Tree* tree;
    std::vector<GumboNode*> elements;
    TagTable<Positions> tag_map;
    // Keys view the parser's class attribute values, which live as long as the tree.
    KeyedLists<std::string_view, std::uint64_t> class_map;
    // The most recent distinct queries' answers. Only the interpreter thread touches it.
    ResultCache<QueryResult> result_cache{result_cache_entries};
};

}  // namespace velkaron
