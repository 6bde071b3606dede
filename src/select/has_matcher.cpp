// :has(), matched from the :has() element towards the rightmost compound, with every partial
// answer kept for the query, so nested and repeated :has() stay linear in the elements.

#include "select/element_access.h"
#include "select/matcher.h"

namespace velkaron::select {

namespace {

GumboNode* next_element(const GumboNode* element) { return element_sibling(element, +1); }

}  // namespace

bool Matcher::has_matches(const Simple& simple, const GumboNode* element) {
    const auto key = answer_key(&simple, 0, element, Relation::has);
    if (const auto known = answers.find(key)) return *known;
    bool found = false;
    for (const Complex& complex : simple.nested->selectors) {
        const std::size_t leftmost = complex.compounds.size() - 1;
        found = reaches(complex, leftmost, complex.compounds[leftmost].combinator, element);
        if (found) break;
    }
    answers.file(key, found);
    return found;
}

bool Matcher::completes(const Complex& complex, std::size_t index, const GumboNode* element) {
    const auto key = answer_key(&complex, index, element, Relation::completes);
    if (const auto known = answers.find(key)) return *known;
    // Compound `index - 1` stands to compound `index` as that compound's combinator says.
    const bool result = compound_matches(complex.compounds[index], element) &&
                        (index == 0 || reaches(complex, index - 1,
                                               complex.compounds[index - 1].combinator, element));
    answers.file(key, result);
    return result;
}

bool Matcher::reaches(const Complex& complex, std::size_t index, Combinator relation,
                      const GumboNode* from) {
    switch (relation) {
        case Combinator::child: {
            const GumboVector& children = from->v.element.children;
            for (unsigned int i = 0; i < children.length; ++i) {
                const GumboNode* child = child_at(&children, i);
                if (is_element_node(child) && completes(complex, index, child)) return true;
            }
            return false;
        }
        case Combinator::descendant: return any_below(complex, index, from);
        case Combinator::next_sibling: {
            const GumboNode* after = next_element(from);
            return after != nullptr && completes(complex, index, after);
        }
        case Combinator::later_sibling: return any_later(complex, index, from);
        case Combinator::none: break;
    }
    return false;
}

bool Matcher::any_later(const Complex& complex, std::size_t index, const GumboNode* from) {
    // Every sibling passed without an answer shares the answer found further on.
    std::vector<const GumboNode*> passed{from};
    bool result = false;
    for (const GumboNode* after = next_element(from); after != nullptr; after = next_element(after)) {
        if (completes(complex, index, after)) {
            result = true;
            break;
        }
        if (const auto known = answers.find(answer_key(&complex, index, after, Relation::later))) {
            result = *known;
            break;
        }
        passed.push_back(after);
    }
    for (const GumboNode* element : passed) {
        answers.file(answer_key(&complex, index, element, Relation::later), result);
    }
    return result;
}

bool Matcher::any_below(const Complex& complex, std::size_t index, const GumboNode* top) {
    if (const auto known = answers.find(answer_key(&complex, index, top, Relation::below))) return *known;
    // Depth first without recursion: a subtree searched to the end holds no match; on a match,
    // every element still open holds one.
    struct Open {
        const GumboNode* element;
        unsigned int next_child;
    };
    std::vector<Open> open{{top, 0}};
    bool result = false;
    while (!open.empty() && !result) {
        Open& current = open.back();
        const GumboVector& children = current.element->v.element.children;
        if (current.next_child == children.length) {
            answers.file(answer_key(&complex, index, current.element, Relation::below), false);
            open.pop_back();
            continue;
        }
        const GumboNode* child = child_at(&children, current.next_child++);
        if (!is_element_node(child)) continue;
        if (completes(complex, index, child)) {
            result = true;
            break;
        }
        if (const auto known = answers.find(answer_key(&complex, index, child, Relation::below))) {
            result = *known;
        } else {
            open.push_back({child, 0});
        }
    }
    for (const Open& still_open : open) {
        answers.file(answer_key(&complex, index, still_open.element, Relation::below), true);
    }
    return result;
}

}  // namespace velkaron::select
