#pragma once

// HTML output: the markup that parses back to the same tree, written in one walk into one
// string. Element names are the real ones (node/tag_name.h).

#include <gumbo.h>

#include <string>

namespace velkaron {

// The node itself and everything below it. For the document node: the doctype, then its
// children. For a text node: its text, escaped unless its parent keeps text as it stands.
void append_outer_html(const GumboNode* node, std::string& out);

// Only what is below the node: the children of an element, a template or the document;
// nothing for other kinds.
void append_inner_html(const GumboNode* node, std::string& out);

}  // namespace velkaron
