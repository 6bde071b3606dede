#pragma once

// How Markdown reads the characters beside an emphasis delimiter: whitespace, punctuation
// (ASCII, or Unicode punctuation and symbols) or anything else. Text is UTF-8; a malformed
// sequence reads as "other".

#include <cstddef>
#include <string_view>

namespace velkaron::clean {

enum class CharClass { space, punctuation, other };

// Of the first / last code point; empty text reads as space (the edge of a line).
CharClass first_class(std::string_view text);
CharClass last_class(std::string_view text);

// Bytes of whitespace at the start / end of `text` (non-breaking spaces included).
std::size_t leading_space(std::string_view text);
std::size_t trailing_space(std::string_view text);

}  // namespace velkaron::clean
