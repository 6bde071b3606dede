#pragma once

// What each element is to a reader: the small table both renderers read. The roles follow
// the browsers' default styles (block or inline, whitespace kept or collapsed) plus the few
// structures that get their own syntax (lists, tables, headings, links, form fields).

#include <gumbo.h>

#include "clean/render.h"

namespace velkaron::clean {

enum class Role : unsigned char {
    inline_box,   // text flows through: span, b, unknown elements...
    block,        // its own lines: div, section, li...
    paragraph,    // its own lines with a blank line around: p, figure...
    heading,
    list,
    list_item,
    term,         // dt
    definition,   // dd
    definition_list,
    table,
    row,
    cell,
    blockquote,
    preformatted, // whitespace kept: pre, listing, plaintext, xmp
    rule,         // hr
    line_break,   // br
    image,        // img
    area,
    link,         // a
    strong,
    emphasis,
    code,
    deleted,
    input,
    select,
    textarea,
    skipped,      // never shown: script, style, template, head...
};

struct TagRule {
    Role role = Role::inline_box;
    unsigned char level = 0;      // heading level; ordered (1) or not (0) for lists
};

TagRule rule_for(const GumboNode* element);

// Whether an element and its subtree are left out: skipped tags, noscript unless asked for,
// the hidden attribute, inline styles that hide, and the caller's drop hook.
bool left_out(const GumboNode* element, Role role, const RenderOptions& options);

// The value of an attribute, or null.
const char* attribute_value(const GumboNode* element, const char* name);

}  // namespace velkaron::clean
