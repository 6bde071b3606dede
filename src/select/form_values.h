#pragma once

// The values of form controls as the controls read them: numbers, dates, months, weeks and
// times, to tell whether an input's value lies within its min and max.

#include <gumbo.h>

#include <string_view>

namespace velkaron::select {

// A number as a number input keeps it: digits with an optional fraction, sign and exponent,
// nothing around them.
bool is_valid_number(std::string_view text);

enum class RangeState { unlimited, in_range, out_of_range };

// `unlimited` for elements that are no input with a min or max the type reads (range inputs
// always have both), and for inputs left out of validation: disabled, read-only, in a datalist.
RangeState range_state(const GumboNode* element);

}  // namespace velkaron::select
