#pragma once

#include <gumbo.h>

#include <cstdint>
#include <vector>

#include "clean/main_content_hints.h"

namespace velkaron::clean {

// Measures of one rendered element, filled by one walk in document order: an element's
// subtree is the run entries[i] .. entries[i + size - 1], and every parent precedes its
// children, so sums over subtrees are one backwards pass.
struct BlockStats {
    const GumboNode* node = nullptr;
    std::uint32_t parent = 0;              // index of the parent entry (0 for the first)
    std::uint32_t size = 1;                // entries in the subtree, this one included
    std::uint32_t text = 0;                // visible characters (code points, not spaces)
    std::uint32_t link_text = 0;           // of those, inside links
    std::uint32_t block_text = 0;          // text not inside a nested paragraph block
    std::uint32_t block_link_text = 0;
    std::uint32_t block_punctuation = 0;   // sentence and clause marks of any script
    std::uint32_t content_text = 0;        // text of the scored paragraphs in the subtree
    std::uint32_t prose_text = 0;          // text of prose paragraphs, boilerplate or not
    Hint structural = Hint::none;
    Hint by_class = Hint::none;
    bool holds_content_tag = false;        // an article/main/articleBody in the subtree
    bool excluded = false;                 // this or an ancestor is boilerplate
    double score = 0;

    double link_density() const { return text == 0 ? 0.0 : double(link_text) / text; }
};

// A paragraph block of enough text, not mostly links.
bool is_prose(const BlockStats& block);

// One entry per rendered element below (and including) `root`, sums and flags filled.
std::vector<BlockStats> measure_blocks(const GumboNode* root);

}  // namespace velkaron::clean
