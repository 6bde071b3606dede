#pragma once

#include <gumbo.h>

#include <string>

namespace velkaron {

// Parses a document up to its first NUL byte. Errors are never recorded: with gumbo's
// defaults every parse error copies the stack of open elements, which makes documents with
// many unclosed elements need memory quadratic in their depth; the tree is the same either way.
GumboOutput* parse_document(const std::string& html);

// Frees what parse_document returned (null is accepted).
void destroy_document(GumboOutput* output);

}  // namespace velkaron
