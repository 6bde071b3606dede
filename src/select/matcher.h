#pragma once

// Runs compiled selectors against elements, right to left: the rightmost compound against the
// element itself, then outwards along the combinators.

#include <gumbo.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "select/answer_table.h"
#include "select/direction.h"
#include "select/form_owners.h"
#include "select/inherited.h"
#include "select/selector.h"

namespace velkaron::select {

class Matcher {
public:
    // `scope`: the element :scope stands for; null when the query runs over the whole
    // document, where :scope is the root element.
    explicit Matcher(const GumboNode* scope = nullptr) : scope(scope) {}

    bool matches(const SelectorList& list, const GumboNode* element);
    bool matches(const Complex& complex, const GumboNode* element);
    // The compound alone, whatever the element's surroundings.
    bool compound_matches(const Compound& compound, const GumboNode* element);

private:
    // How a failure to match from some element bears on the elements further out: the
    // descendant and sibling combinators stop trying when no further element can help, which
    // keeps long chains of them from going exponential.
    enum class Outcome { matched, fails_here, fails_all_siblings, fails_completely };

    Outcome match_from(const Complex& complex, std::size_t index, const GumboNode* element);
    bool simple_matches(const Simple& simple, const GumboNode* element);
    bool attribute_matches(const Simple& simple, const GumboNode* element) const;
    bool class_matches(const Simple& simple, const GumboNode* element) const;
    bool nth_matches(const Simple& simple, const GumboNode* element);
    bool has_matches(const Simple& simple, const GumboNode* element);

    // :has() runs its relative selectors left to right, from the :has() element outwards to
    // the rightmost compound. What holds from an element onwards does not depend on where the
    // walk started, so each answer is kept for the whole query: every element is tested at
    // most once per compound and relation, however the selectors nest.
    enum class Relation : std::uint32_t { completes, below, later, has };
    static AnswerTable<bool>::Key answer_key(const void* what, std::size_t index, const GumboNode* element,
                                       Relation relation) {
        return {what, element, static_cast<std::uint32_t>(index) * 4 + static_cast<std::uint32_t>(relation)};
    }
    // `element` matches compound `index` and the compounds right of it follow on.
    bool completes(const Complex& complex, std::size_t index, const GumboNode* element);
    // Some element related to `from` by `relation` completes from compound `index`.
    bool reaches(const Complex& complex, std::size_t index, Combinator relation, const GumboNode* from);
    bool any_below(const Complex& complex, std::size_t index, const GumboNode* top);
    bool any_later(const Complex& complex, std::size_t index, const GumboNode* from);

    // The outcome of looking for a combinator's left side among `start` and its ancestors
    // (descendant) or its earlier siblings (later sibling). Each search is kept for the query:
    // the searches from neighbours meet, and the second one ends where they meet, which keeps
    // long chains of these combinators linear however they backtrack.
    Outcome search_outwards(const Complex& complex, std::size_t index, const GumboNode* start,
                            Combinator combinator);

    // An element's 1-based place among its element siblings (or those of its type), counted
    // from the start and from the end; computed once per parent with many children.
    struct Places {
        std::vector<std::uint32_t> from_start;
        std::vector<std::uint32_t> from_end;
    };
    const Places& places_under(const GumboNode* parent, bool of_type);

    const GumboNode* scope;
    AnswerTable<Outcome> searches;
    std::unordered_map<const GumboNode*, Places> child_places;
    std::unordered_map<const GumboNode*, Places> type_places;
    AnswerTable<bool> answers;
    Directions directions;
    FormStates forms;
    bool language_matches(const GumboNode* element, std::string_view ranges);
    bool is_editable(const GumboNode* element);
    Inherited<const char*> languages;
    std::optional<std::string> document_language;
    Inherited<bool> editable;
};

}  // namespace velkaron::select
