#pragma once

// The pseudo-classes selectors may name, by lower-case name: what each compiles to and what
// argument it takes.

#include <cstdint>
#include <string_view>

#include "select/selector.h"

namespace velkaron::select {

// `forgiving`: a selector list that may hold empty entries (`:is(, a)`), which match nothing.
// `optional_selectors`: with or without a selector list (`:current`, `:current(p)`).
enum class Argument { none, selectors, forgiving, relative, nth, nth_of, languages, direction, optional_selectors };

struct PseudoClass {
    SimpleKind kind;
    Argument argument;
    std::int64_t a = 0;
    std::int64_t b = 0;
};

// Null for a name that is no pseudo-class (pseudo-elements and :only-* are the parser's).
const PseudoClass* find_pseudo_class(std::string_view name);

bool is_pseudo_element_name(std::string_view name);

}  // namespace velkaron::select
