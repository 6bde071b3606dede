#pragma once

// The pieces of Markdown written from what elements hold: link tails, code fences and the
// language of a code block.

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace velkaron::clean {

// The longest run of `c` in `text` (a fence must be longer).
std::size_t longest_run(std::string_view text, char c);

// "](url "title")" closing a link or image; `pipes`: inside a table cell.
std::string link_tail(std::string_view url, const char* title, bool pipes);

// The language of a code block: a "language-x", "lang-x" or "highlight-x" class on the
// block, on its first code element or on the two elements around it.
std::string code_language(const GumboNode* pre);

}  // namespace velkaron::clean
