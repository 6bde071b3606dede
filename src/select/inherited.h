#pragma once

// States an element takes from its nearest ancestor-or-self that sets them (its language,
// whether it is editable), kept for one query: a walk up stops at the first element already
// known and records the answer for every element it passed, so a query over a deep tree stays
// linear however many elements ask.

#include <gumbo.h>

#include <optional>
#include <unordered_map>
#include <vector>

#include "select/element_access.h"

namespace velkaron::select {

template <typename Value>
class Inherited {
public:
    // `set_by(element)` is the value an element sets itself, or nullopt when it inherits;
    // `fallback` is what an element gets when no ancestor sets one.
    template <typename SetBy>
    Value of(const GumboNode* element, SetBy&& set_by, const Value& fallback) {
        Value value = fallback;
        std::vector<const GumboNode*>& passed = scratch;
        passed.clear();
        for (const GumboNode* at = element; at != nullptr; at = parent_element(at)) {
            if (const auto hit = known.find(at); hit != known.end()) {
                value = hit->second;
                break;
            }
            passed.push_back(at);
            if (std::optional<Value> own = set_by(at)) {
                value = *own;
                break;
            }
        }
        for (const GumboNode* at : passed) known.emplace(at, value);
        return value;
    }

private:
    std::unordered_map<const GumboNode*, Value> known;
    std::vector<const GumboNode*> scratch;
};

}  // namespace velkaron::select
