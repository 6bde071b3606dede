#pragma once

#include <gumbo.h>

#include <string>
#include <unordered_set>

namespace velkaron {

// The parser keeps the name of a tag it does not know (custom elements, most SVG and MathML
// names) only as a span of the source text, and the source text is gone once the tree is
// built. This copies each such name into storage the tree owns, one copy per distinct
// spelling, and points the element's span at it, so the name can be read for the tree's
// whole life (node/tag_name.h reads it there).
class SourceNames {
public:
    // While the source is alive: the name of `element` when the parser does not know it.
    void keep(GumboNode* element);
    // The same for every element at and below `node`, template contents included.
    void keep_all(GumboNode* node);

private:

    // Node-based: a stored string never moves, so spans into it stay valid.
    std::unordered_set<std::string> spellings;
};

}  // namespace velkaron
