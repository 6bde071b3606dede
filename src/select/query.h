#pragma once

// Runs a compiled selector list over a scope, choosing the candidates: the element index's
// list for an id, class or tag of the rightmost compound when that is shorter than the scope,
// otherwise every element of the scope. Over the whole document, `*` takes the element list
// as it is, and chains of descendant and child combinators may be walked top down instead
// (select/chain_walk.h) when that reads fewer elements.

#include <gumbo.h>

#include <vector>

#include "select/selector.h"

namespace velkaron {
class ElementIndex;
}

namespace velkaron::select {

// The matching elements among the descendants of `scope`, in document order, without
// repetitions; with a null (or document) scope, among all the document's elements and with
// :scope standing for the root element. `index` may be null: the scope is walked then.
std::vector<GumboNode*> run_query(const ElementIndex* index, GumboNode* scope,
                                  const SelectorList& list, bool first_only);

}  // namespace velkaron::select
