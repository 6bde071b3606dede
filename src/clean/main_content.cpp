#include "clean/main_content.h"

#include <algorithm>
#include <functional>

#include "clean/main_content_stats.h"
#include "document/tree.h"

namespace velkaron::clean {
namespace {

// Less scored text than this on the whole page: there is no article to find.
constexpr std::uint32_t least_content = 50;
// An element keeping less than this share of its parent's prose is one block of an article
// split over siblings: the parent is taken instead.
constexpr double split_article_share = 0.8;
// Code and tables are full of commas and dots: past this many, marks add nothing.
constexpr std::uint32_t most_marks_scored = 10;
// Inside the article, a list or block whose text is mostly links is a related list or a
// share bar.
constexpr double densest_block_links = 0.6;
// A parent whose text beyond the choice is at least this share prose is taken with it.
constexpr double added_prose_share = 0.85;
// The longest title of a dropped block, in visible characters.
constexpr std::uint32_t longest_block_title = 60;
// A form inside the article holding less than this share of its prose is not part of it.
constexpr double minor_form_share = 0.5;

bool is_wrapper(const GumboNode* node) {
    return node->v.element.tag == GUMBO_TAG_HTML;
}

// Each prose paragraph scores its parent fully and its grandparent by half: the article is
// the element that collects the most prose, more when it has commas and full stops.
void score_paragraphs(std::vector<BlockStats>& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i) {
        BlockStats& block = entries[i];
        if (block.excluded || !is_prose(block)) continue;
        const double score = 1.0 + std::min(block.block_punctuation, most_marks_scored) +
                             std::min(block.block_text / 100.0, 3.0);
        block.content_text += block.block_text;
        BlockStats& parent = entries[block.parent];
        parent.score += score;
        entries[parent.parent].score += score / 2;
    }
    for (std::size_t i = entries.size(); i-- > 1;) {
        entries[entries[i].parent].content_text += entries[i].content_text;
    }
}

double weight(const BlockStats& entry) {
    if (entry.structural == Hint::content) return 1.5;
    if (entry.by_class == Hint::content) return 1.25;
    if (entry.by_class == Hint::boilerplate || entry.by_class == Hint::discussion) return 0.75;
    return 1.0;
}

std::size_t best_candidate(const std::vector<BlockStats>& entries) {
    std::size_t best = 0;
    double best_score = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const BlockStats& entry = entries[i];
        if (entry.excluded || entry.score <= 0) continue;
        const double score = entry.score * (1.0 - entry.link_density()) * weight(entry);
        if (score > best_score) {
            best_score = score;
            best = i;
        }
    }
    return best;
}

// A lead paragraph or a closing one beside the article's body: what the parent holds beyond
// the choice is nearly all prose.
bool adds_only_prose(const BlockStats& parent, const BlockStats& choice) {
    const std::uint32_t added = parent.text - choice.text;
    return added > 0 && parent.content_text - choice.content_text >= added_prose_share * added;
}

// Ancestors that add no prose (a lone wrapper, the article element around its body) are
// passed through: the next one up may still hold the rest of the article.
std::size_t widen_split_article(const std::vector<BlockStats>& entries, std::size_t best) {
    for (std::size_t at = entries[best].parent; at > 0; at = entries[at].parent) {
        const BlockStats& parent = entries[at];
        if (parent.excluded || is_wrapper(parent.node)) break;
        if (parent.content_text == entries[best].content_text) continue;
        if (entries[best].content_text >= split_article_share * parent.content_text &&
            !adds_only_prose(parent, entries[best]))
            break;
        best = at;
    }
    return best;
}

// An article, main or articleBody element around the choice is the page's own word on where
// its content is: a documentation page's section or a code block is only part of it.
std::size_t marked_content_around(const std::vector<BlockStats>& entries, std::size_t best) {
    for (std::size_t at = best; at > 0; at = entries[at].parent) {
        if (entries[at].structural == Hint::content) return at;
    }
    return best;
}

bool is_link_list(const BlockStats& entry) {
    switch (entry.node->v.element.tag) {
        case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_DL: case GUMBO_TAG_DIV:
        case GUMBO_TAG_SECTION: case GUMBO_TAG_TABLE: case GUMBO_TAG_P:
            return entry.text > 0 && entry.link_text > densest_block_links * entry.text;
        default:
            return false;
    }
}

// A form inside the article holding little of its prose asks for a comment, a rating or an
// address; one holding most of it wraps the page (some frameworks put every page in one).
bool is_minor_form(const BlockStats& entry, const BlockStats& root) {
    return entry.node->v.element.tag == GUMBO_TAG_FORM &&
           entry.content_text < minor_form_share * root.content_text;
}

// Captions and credits describe a picture, not the article.
bool is_caption(const BlockStats& entry) {
    return entry.node->v.element.tag == GUMBO_TAG_FIGCAPTION;
}

bool is_dropped_block(const std::vector<BlockStats>& entries, std::size_t i, std::size_t root) {
    const BlockStats& entry = entries[i];
    const bool own_mark = entry.excluded && !entries[entry.parent].excluded;
    return own_mark || is_link_list(entry) || is_minor_form(entry, entries[root]) ||
           is_caption(entry);
}

// A few words without prose just before a dropped block of text are its title ("Related
// stories", "Leave a reply"); before an empty one (a bar of icons) they may be the next
// section's heading.
bool is_title_of(const BlockStats& entry, const BlockStats& dropped) {
    switch (entry.node->v.element.tag) {
        case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
        case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_P: case GUMBO_TAG_DIV:
        case GUMBO_TAG_SPAN: case GUMBO_TAG_STRONG: case GUMBO_TAG_B:
            break;
        default:
            return false;  // a picture, a table or a list is not a title
    }
    return dropped.text > 0 && entry.text > 0 && entry.content_text == 0 &&
           entry.text <= longest_block_title;
}

std::vector<const GumboNode*> boilerplate_within(const std::vector<BlockStats>& entries,
                                                 std::size_t root) {
    std::vector<const GumboNode*> found;
    const std::size_t end = root + entries[root].size;
    // The child of each element (by offset from root) seen last: a block's previous sibling.
    std::vector<std::size_t> last_child(entries[root].size, 0);
    for (std::size_t i = root + 1; i < end;) {
        std::size_t& previous = last_child[entries[i].parent - root];
        const std::size_t before = previous;
        previous = i;
        if (!is_dropped_block(entries, i, root)) {
            ++i;
            continue;
        }
        found.push_back(entries[i].node);
        if (before != 0 && is_title_of(entries[before], entries[i]))
            found.push_back(entries[before].node);
        i += entries[i].size;
    }
    std::sort(found.begin(), found.end(), std::less<const GumboNode*>());
    found.erase(std::unique(found.begin(), found.end()), found.end());  // titles also dropped
    return found;
}

}  // namespace

bool MainContent::is_boilerplate(const GumboNode* node) const {
    return std::binary_search(boilerplate.begin(), boilerplate.end(), node,
                              std::less<const GumboNode*>());
}

MainContent find_main_content(const Tree& tree) {
    MainContent result;
    std::vector<BlockStats> entries = measure_blocks(tree.root_element());
    if (entries.empty()) return result;
    score_paragraphs(entries);
    const std::size_t best = best_candidate(entries);
    if (best == 0) return result;
    const std::size_t root = marked_content_around(entries, widen_split_article(entries, best));
    if (entries[root].content_text < least_content) return result;
    result.root = entries[root].node;
    result.boilerplate = boilerplate_within(entries, root);
    return result;
}

}  // namespace velkaron::clean
