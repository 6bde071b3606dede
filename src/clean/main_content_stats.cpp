#include "clean/main_content_stats.h"

#include <cstring>

#include "node/gumbo_access.h"

namespace velkaron::clean {
namespace {

// A paragraph shorter than this is a label, a caption or a button, not prose.
constexpr std::uint32_t shortest_paragraph = 25;
// Paragraphs mostly made of link text are menus and link lists.
constexpr double densest_paragraph_links = 0.5;
// An element named or tagged as boilerplate that holds at least this share of the page's
// prose is a layout wrapper around the article ("navpadding", a header left open).
constexpr double wrapper_prose_share = 0.7;

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Clause and sentence marks: ASCII, CJK and full-width forms, Arabic comma, Devanagari danda.
unsigned punctuation_at(const unsigned char* s, std::size_t left) {
    switch (s[0]) {
        case ',': case '.': case ';': case '!': case '?': return 1;
        default: break;
    }
    if (left >= 3 && s[0] == 0xE3 && s[1] == 0x80 && (s[2] == 0x81 || s[2] == 0x82)) return 1;
    if (left >= 3 && s[0] == 0xEF && s[1] == 0xBC && (s[2] == 0x8C || s[2] == 0x81 || s[2] == 0x9F))
        return 1;
    if (left >= 3 && s[0] == 0xE0 && s[1] == 0xA5 && s[2] == 0xA4) return 1;
    if (left >= 2 && s[0] == 0xD8 && s[1] == 0x8C) return 1;
    return 0;
}

void count_text(const char* text, BlockStats& entry, bool in_link) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const std::size_t length = std::strlen(text);
    std::uint32_t visible = 0, marks = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if ((s[i] & 0xC0) == 0x80 || is_space(s[i])) continue;
        ++visible;
        marks += punctuation_at(s + i, length - i);
    }
    entry.text += visible;
    entry.block_text += visible;
    entry.block_punctuation += marks;
    if (in_link) {
        entry.link_text += visible;
        entry.block_link_text += visible;
    }
}

struct Pending {
    const GumboNode* node;
    std::uint32_t parent;
    bool in_link;
};

void walk(const GumboNode* root, std::vector<BlockStats>& entries) {
    std::vector<Pending> stack{{root, 0, false}};
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        const auto index = static_cast<std::uint32_t>(entries.size());
        BlockStats& entry = entries.emplace_back();
        entry.node = next.node;
        entry.parent = index == 0 ? 0 : next.parent;
        entry.structural = structural_hint(next.node);
        entry.by_class = class_hint(next.node);
        const bool linked = next.in_link || next.node->v.element.tag == GUMBO_TAG_A;
        const GumboVector& children = next.node->v.element.children;
        for (unsigned i = children.length; i-- > 0;) {
            const GumboNode* child = child_at(&children, i);
            if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) {
                count_text(child->v.text.text, entry, linked);
            } else if (child->type == GUMBO_NODE_ELEMENT && !is_unrendered(child)) {
                stack.push_back({child, index, linked});
            }
        }
    }
}

void sum_subtrees(std::vector<BlockStats>& entries) {
    for (std::size_t i = entries.size(); i-- > 1;) {
        BlockStats& child = entries[i];
        BlockStats& parent = entries[child.parent];
        parent.size += child.size;
        parent.text += child.text;
        parent.link_text += child.link_text;
        parent.holds_content_tag |= child.holds_content_tag || child.structural == Hint::content;
        if (!is_paragraph_block(child.node)) {
            parent.block_text += child.block_text;
            parent.block_link_text += child.block_link_text;
            parent.block_punctuation += child.block_punctuation;
        }
    }
}

void sum_prose(std::vector<BlockStats>& entries) {
    for (std::size_t i = entries.size(); i-- > 0;) {
        BlockStats& entry = entries[i];
        if (is_prose(entry)) entry.prose_text += entry.block_text;
        if (i > 0) entries[entry.parent].prose_text += entry.prose_text;
    }
}

// A class word marks an element as boilerplate only when no article element sits inside it,
// and a class or tag only when it does not hold most of the page's prose: then it wraps the
// article. Comments are the exception, being prose themselves.
void mark_excluded(std::vector<BlockStats>& entries) {
    const double wrapper_prose = wrapper_prose_share * entries[0].prose_text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        BlockStats& entry = entries[i];
        const bool page = entry.node->v.element.tag == GUMBO_TAG_HTML ||
                          entry.node->v.element.tag == GUMBO_TAG_BODY;
        const bool wrapper = page || (entry.prose_text > 0 && entry.prose_text >= wrapper_prose);
        const bool named = (entry.by_class == Hint::boilerplate && !wrapper) ||
                           (entry.by_class == Hint::discussion && !page);
        const bool own = (entry.structural == Hint::boilerplate && !wrapper) ||
                         (named && !entry.holds_content_tag && entry.structural != Hint::content);
        entry.excluded = own || (i > 0 && entries[entry.parent].excluded);
    }
}

}  // namespace

bool is_prose(const BlockStats& block) {
    return is_paragraph_block(block.node) && block.block_text >= shortest_paragraph &&
           block.block_link_text <= densest_paragraph_links * block.block_text;
}

std::vector<BlockStats> measure_blocks(const GumboNode* root) {
    std::vector<BlockStats> entries;
    if (!is_element_node(root)) return entries;
    walk(root, entries);
    sum_subtrees(entries);
    sum_prose(entries);
    mark_excluded(entries);
    return entries;
}

}  // namespace velkaron::clean
