#pragma once

#include <memory>
#include <string_view>

#include "select/selector.h"

namespace velkaron::select {

// Selectors nested in :is(), :not(), :has() and `of S` deeper than this are refused.
constexpr int max_nesting = 32;
// Refused too: selectors whose matching would recurse deeper than this many compounds
// (long combinator chains, summed over the nesting).
constexpr std::size_t max_match_depth = 1024;

// Compiles selector text; throws SelectorError for anything that is not a valid selector list.
std::shared_ptr<const SelectorList> compile(std::string_view text);

}  // namespace velkaron::select
