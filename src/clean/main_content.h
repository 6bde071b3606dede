#pragma once

#include <gumbo.h>

#include <vector>

namespace velkaron {
class Tree;
}

namespace velkaron::clean {

struct MainContent {
    const GumboNode* root = nullptr;           // the main content element, null when none
    std::vector<const GumboNode*> boilerplate; // elements inside root to leave out, sorted
    bool is_boilerplate(const GumboNode* node) const;   // binary search in `boilerplate`
};

// The element holding the page's article, and the blocks inside it that are not part of it
// (navigation, share bars, comment sections, related-link lists). One pass over the tree
// plus one over the chosen element; no word lists, so any language or script scores alike.
MainContent find_main_content(const Tree& tree);

}  // namespace velkaron::clean
