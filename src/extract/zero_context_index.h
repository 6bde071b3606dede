#pragma once

#include <gumbo.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "extract/result_cache.h"
#include "node/handle_types.h"

namespace velkaron {

class ElementIndex;

// Element positions in the element index's document order.
using Positions = std::vector<std::uint32_t>;

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

// Whole-document questions answered from the element index's lists of positions, without
// walking the tree and without a handle per match, with a small cache of recent answers.
class ZeroContextIndex {
public:
    static constexpr std::size_t result_cache_entries = 128;

    // Reads the tree's element index, which must be built before the first question.
    explicit ZeroContextIndex(const Tree* tree) : tree(tree) {}

    std::vector<QueryResult> execute_queries(const std::vector<ZeroContextQuery>& queries);
    // The answer to one query through the result cache, without copying a cached answer.
    const QueryResult& cached_answer(const ZeroContextQuery& query);
    std::vector<std::string> text_by_tag(const std::string& tag_name) const;
    std::vector<std::string> text_by_class(const std::string& class_token) const;
    std::vector<std::string> attribute_values_by_tag(const std::string& tag_name,
                                                     const std::string& attribute_name) const;
    NodeList handles_for_positions(const Positions& positions) const;

    // Whitespace-only runs contribute nothing here, unlike Node::get_text.
    static std::string element_text(GumboNode* node);

private:
    QueryResult answer(const ZeroContextQuery& query) const;
    std::vector<std::string> texts_at(const Positions& positions) const;
    const ElementIndex& index() const;

    const Tree* tree;
    // The most recent distinct queries' answers. Only the interpreter thread touches it.
    ResultCache<QueryResult> result_cache{result_cache_entries};
};

}  // namespace velkaron
