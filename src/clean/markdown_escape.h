#pragma once

// Backslashes before the characters a Markdown reader would take as syntax, and only there:
// emphasis and code delimiters, brackets, things that look like HTML or entities, and at the
// start of a line the markers of headings, quotes, lists and rules.

#include <string>
#include <string_view>

namespace velkaron::clean {

void append_markdown_escaped(std::string& out, std::string_view run, bool line_start, bool pipes);

}  // namespace velkaron::clean
