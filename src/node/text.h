#pragma once

#include <gumbo.h>

#include <string>
#include <vector>

namespace velkaron {

// Appends the text pieces at or below `node` (text and whitespace runs, in document order;
// comments, CDATA and template contents contribute nothing).
void collect_text(GumboNode* node, std::string& out);
void collect_strings(GumboNode* node, std::vector<std::string>& out);

// Removes leading and trailing space, tab, line feed, carriage return, form feed and
// vertical tab (bytes only: no other character is trimmed).
std::string trim_whitespace(const std::string& s);

}  // namespace velkaron
