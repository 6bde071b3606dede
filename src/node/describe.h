#pragma once

#include <gumbo.h>

#include <string>

namespace velkaron {

// A one-line description for Python's repr: `<Node div id="x" class="a b">`,
// `<Node text "Hello wor…">` (text and comments cut to ten characters), `<Node document>`.
std::string describe_node(const GumboNode* node);

}  // namespace velkaron
