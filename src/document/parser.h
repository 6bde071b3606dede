#pragma once

#include <gumbo.h>

#include <cstddef>

namespace velkaron {

class ParseArena;

// Parses `length` bytes of text (which hold no NUL byte). When gumbo takes an allocator and an
// arena is given, the whole output lives in the arena and is freed with it, not by
// destroy_document; returns whether it does through `in_arena`. Errors are never recorded: with
// gumbo's defaults every parse error copies the stack of open elements, which makes documents
// with many unclosed elements need memory quadratic in their depth. The one difference that
// makes in the tree is repaired by AttributeRepair.
GumboOutput* parse_document(const char* text, std::size_t length, ParseArena* arena,
                            bool& in_arena);

// Frees what parse_document returned (null is accepted). gumbo frees the tree recursively, one
// native stack frame per level, so a document nested a million levels deep would overflow the
// caller's stack: a tree whose text could nest deeper than the calling thread's stack allows is
// freed on a helper thread whose stack is sized from the length of that text.
void destroy_document(GumboOutput* output, std::size_t source_length);

}  // namespace velkaron
