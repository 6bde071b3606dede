#pragma once

#include <gumbo.h>

namespace velkaron::clean {

// What an element's tag, role, itemprop, id and class say about it.
enum class Hint {
    none,
    content,        // article, main, articleBody, "post", "entry"...: likely the article
    boilerplate,    // nav, footer, aside, "share", "related", "cookie"...
    discussion,     // "comments": boilerplate that reads as prose, so its length says nothing
};

// Elements whose text never reaches a reader (scripts, styles, forms' controls, templates).
bool is_unrendered(const GumboNode* element);

// Block elements whose own text is scored as a paragraph of the article.
bool is_paragraph_block(const GumboNode* element);

// Tag and role hints are structural and always hold. Hints read from id and class words are
// weaker: `class_hint` reports them separately so a wrapper named "has-sidebar" around the
// article can be overruled by what it contains.
Hint structural_hint(const GumboNode* element);
Hint class_hint(const GumboNode* element);

}  // namespace velkaron::clean
