#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string>

namespace velkaron {

// Parses a document up to its first NUL byte. Errors are never recorded: with gumbo's
// defaults every parse error copies the stack of open elements, which makes documents with
// many unclosed elements need memory quadratic in their depth; the tree is the same either way.
GumboOutput* parse_document(const std::string& html);

// Frees what parse_document returned (null is accepted). gumbo frees the tree recursively, one
// native stack frame per level, so a document nested a million levels deep would overflow the
// caller's stack: a tree whose text could nest deeper than the calling thread's stack allows is
// freed on a helper thread whose stack is sized from the length of that text.
void destroy_document(GumboOutput* output, std::size_t source_length);

}  // namespace velkaron
