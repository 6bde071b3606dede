#include "document/nesting_model.h"

#include <utility>

namespace velkaron {

namespace {

// What the model needs to know of an element: the groups it belongs to. A group is a bit;
// the model keeps, per group, the stack positions of its open members.
enum Category : unsigned {
    paragraph,
    list_item,
    definition,
    link,
    nobr,
    button_scope,  // ends the scope in which a paragraph is closed
    marker,        // ends the scope of links and of a nested table
    special,       // ends the scope in which a list item or definition is closed
    cell,
    row,
    table,
    table_section,
    heading,
    ruby,
    option,
    select,
    button,
};

constexpr unsigned bit(Category c) { return 1u << c; }

unsigned categories_of(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_P: return bit(paragraph);
        case GUMBO_TAG_LI: return bit(list_item);
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT: return bit(definition);
        case GUMBO_TAG_A: return bit(link);
        case GUMBO_TAG_NOBR: return bit(nobr);
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH: return bit(cell) | bit(marker) | bit(button_scope) | bit(special);
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_MARQUEE:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_TEMPLATE: return bit(marker) | bit(button_scope) | bit(special);
        case GUMBO_TAG_TABLE: return bit(table) | bit(button_scope) | bit(special);
        case GUMBO_TAG_TR: return bit(row) | bit(special);
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT: return bit(table_section) | bit(special);
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_MATH: return bit(button_scope) | bit(special);
        case GUMBO_TAG_BUTTON: return bit(button) | bit(button_scope) | bit(special);
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6: return bit(heading) | bit(special);
        case GUMBO_TAG_RB:
        case GUMBO_TAG_RP:
        case GUMBO_TAG_RT:
        case GUMBO_TAG_RTC: return bit(ruby);
        case GUMBO_TAG_OPTION: return bit(option);
        case GUMBO_TAG_OPTGROUP: return bit(option) | bit(special);
        case GUMBO_TAG_SELECT: return bit(select) | bit(special);
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_FORM: return bit(special);
        default: return 0;
    }
}

// Start tags that close an open paragraph in button scope.
bool closes_paragraph(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_P:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT:
            return true;
        default:
            return (categories_of(tag) & (bit(special) | bit(heading))) != 0 &&
                   (categories_of(tag) & (bit(cell) | bit(row) | bit(table_section) |
                                          bit(marker) | bit(button) | bit(select) |
                                          bit(option))) == 0 &&
                   tag != GUMBO_TAG_SVG && tag != GUMBO_TAG_MATH;
    }
}

// Elements that never hold children, and those the parser merges instead of opening.
bool never_opens(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_AREA: case GUMBO_TAG_BASE: case GUMBO_TAG_BASEFONT:
        case GUMBO_TAG_BGSOUND: case GUMBO_TAG_BR: case GUMBO_TAG_COL: case GUMBO_TAG_EMBED:
        case GUMBO_TAG_FRAME: case GUMBO_TAG_HR: case GUMBO_TAG_IMAGE: case GUMBO_TAG_IMG:
        case GUMBO_TAG_INPUT: case GUMBO_TAG_KEYGEN: case GUMBO_TAG_LINK: case GUMBO_TAG_META:
        case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK: case GUMBO_TAG_WBR:
        case GUMBO_TAG_HTML: case GUMBO_TAG_HEAD: case GUMBO_TAG_BODY:
            return true;
        default:
            return false;
    }
}

// Elements that change how the parser reads what they hold: closed early, the rows and cells
// of a table would be dropped, options and SVG read as HTML, template contents left out. At
// the cap they stay open, and their first child goes one level deeper.
bool stays_open_at_cap(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_TABLE: case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_TR: case GUMBO_TAG_SELECT: case GUMBO_TAG_SVG: case GUMBO_TAG_MATH:
        case GUMBO_TAG_TEMPLATE:
            return true;
        default:
            return false;
    }
}

bool bounds_end_tags(GumboTag tag, unsigned categories) {
    return stays_open_at_cap(tag) || (categories & bit(marker)) != 0;
}

std::string lower_case(std::string_view name) {
    std::string lowered(name);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::string closing_tag_of(GumboTag tag, const std::string& unknown_name) {
    const std::string name = tag == GUMBO_TAG_UNKNOWN ? unknown_name : gumbo_normalized_tagname(tag);
    return "</" + name + ">";
}

// Calls visit(b) for each bit b set in `bits`.
template <typename Visit>
void for_each_bit(unsigned bits, Visit&& visit) {
    for (; bits != 0; bits &= bits - 1) visit(static_cast<unsigned>(__builtin_ctz(bits)));
}

}  // namespace

bool holds_raw_text(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_TITLE: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PLAINTEXT:
            return true;
        default:
            return false;
    }
}

std::size_t& NestingModel::NameCount::operator[](const Entry& entry) {
    return entry.tag == GUMBO_TAG_UNKNOWN ? unknown[entry.unknown_name] : known[entry.tag];
}

bool NestingModel::NameCount::holds(GumboTag tag, const std::string& unknown_name) const {
    if (tag != GUMBO_TAG_UNKNOWN) return known[tag] > 0;
    const auto found = unknown.find(unknown_name);
    return found != unknown.end() && found->second > 0;
}

std::optional<std::string> NestingModel::start(GumboTag tag, std::string_view name,
                                               bool self_closing) {
    close_implied_by(tag);
    if (never_opens(tag)) return std::nullopt;
    // Self-closing syntax closes an element only inside SVG or MathML.
    if (self_closing && (open.holds(GUMBO_TAG_SVG, {}) || open.holds(GUMBO_TAG_MATH, {}))) {
        return std::nullopt;
    }
    std::optional<std::string> closing;
    // Raw-text elements hold no elements, so one more level costs nothing.
    if (stack.size() >= max_depth && !holds_raw_text(tag) &&
        !stays_open_at_cap(stack.back().tag)) {
        closing = closing_tag_of(stack.back().tag, stack.back().unknown_name);
        demote();
        // The parser sees the new end tag first, so it judges the implied closings again.
        close_implied_by(tag);
    }
    push(tag, tag == GUMBO_TAG_UNKNOWN ? lower_case(name) : std::string());
    return closing;
}

std::optional<std::string> NestingModel::end(GumboTag tag, std::string_view name) {
    if (never_opens(tag)) return std::nullopt;
    const std::string unknown_name = tag == GUMBO_TAG_UNKNOWN ? lower_case(name) : std::string();
    if (!open.holds(tag, unknown_name) && !early.holds(tag, unknown_name)) return std::nullopt;
    return close_to_name(tag, unknown_name);
}

std::optional<std::string> NestingModel::close_to_name(GumboTag tag,
                                                       const std::string& unknown_name) {
    const auto matches = [&](const Entry& entry) {
        return entry.tag == tag && entry.unknown_name == unknown_name;
    };
    // An end tag that may match an element closed early does not reach past an element
    // that bounds the scope of end tags: the parser would not close that one for it.
    const bool bounded = early.holds(tag, unknown_name);
    // The elements open in the markup, innermost first: those closed early inside the
    // current element, the current element, those inside its parent, and so on up.
    std::string parser_closings;
    while (!stack.empty() || !closed_early.empty()) {
        if (!closed_early.empty() && closed_early.back().base == stack.size()) {
            std::deque<Entry>& group = closed_early.back().entries;
            const Entry entry = std::move(group.back());
            group.pop_back();
            --early[entry];
            if (group.empty()) closed_early.pop_back();
            // Already closed in the parser, like all but the open ones passed on the way.
            if (matches(entry)) return parser_closings;
            continue;
        }
        const Entry& current = stack.back();
        if (bounded && !matches(current) && bounds_end_tags(current.tag, current.categories)) break;
        const Entry entry = pop();
        if (matches(entry)) return std::nullopt;
        parser_closings += closing_tag_of(entry.tag, entry.unknown_name);
    }
    if (parser_closings.empty()) return std::nullopt;
    return parser_closings;
}

void NestingModel::demote() {
    Entry entry = pop();
    ++early[entry];
    const std::size_t base = stack.size();
    const bool has_inner = !closed_early.empty() && closed_early.back().base == base + 1;
    const std::size_t below = closed_early.size() - (has_inner ? 1 : 0);
    const bool has_outer = below > 0 && closed_early[below - 1].base == base;
    if (!has_inner) {
        if (!has_outer) closed_early.push_back(Group{base, {}});
        closed_early.back().entries.push_back(std::move(entry));
        return;
    }
    Group& inner = closed_early.back();
    inner.base = base;
    inner.entries.push_front(std::move(entry));
    if (!has_outer) return;
    // Joins the two groups, moving the smaller one.
    std::deque<Entry>& outer = closed_early[below - 1].entries;
    if (outer.size() >= inner.entries.size()) {
        for (Entry& e : inner.entries) outer.push_back(std::move(e));
    } else {
        for (auto e = outer.rbegin(); e != outer.rend(); ++e) inner.entries.push_front(std::move(*e));
        outer = std::move(inner.entries);
    }
    closed_early.pop_back();
}

void NestingModel::close_top() {
    if (!closed_early.empty() && closed_early.back().base == stack.size()) {
        demote();
    } else {
        pop();
    }
}

void NestingModel::close_implied_by(GumboTag tag) {
    if (closes_paragraph(tag)) close_in_scope(paragraph, bit(button_scope));
    switch (tag) {
        case GUMBO_TAG_LI:
            close_in_scope(list_item, bit(special));
            break;
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT:
            close_in_scope(definition, bit(special));
            break;
        case GUMBO_TAG_A:
            close_in_scope(link, bit(marker));
            break;
        case GUMBO_TAG_NOBR:
            close_in_scope(nobr, bit(marker));
            break;
        case GUMBO_TAG_BUTTON:
            close_in_scope(button, bit(marker) | bit(table));
            break;
        case GUMBO_TAG_SELECT:
            close_in_scope(select, bit(marker) | bit(table));
            break;
        case GUMBO_TAG_TABLE:
            close_in_scope(table, bit(marker));
            break;
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
            close_in_scope(table_section, bit(table));
            [[fallthrough]];
        case GUMBO_TAG_TR:
            close_in_scope(row, bit(table));
            [[fallthrough]];
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            close_in_scope(cell, bit(table));
            break;
        default:
            break;
    }
    // Closed only when they are the current element.
    const unsigned same_level = categories_of(tag) & (bit(heading) | bit(ruby) | bit(option));
    while (same_level != 0 && !stack.empty() && (stack.back().categories & same_level) != 0) {
        close_top();
    }
}

bool NestingModel::close_in_scope(unsigned category, unsigned barriers) {
    if (positions[category].empty()) return false;
    const std::size_t at = positions[category].back();
    bool barred = false;
    for_each_bit(barriers, [&](unsigned b) { barred |= !positions[b].empty() && positions[b].back() > at; });
    if (barred) return false;
    while (stack.size() > at) close_top();
    return true;
}

void NestingModel::push(GumboTag tag, std::string unknown_name) {
    const unsigned categories = categories_of(tag);
    for_each_bit(categories, [&](unsigned b) { positions[b].push_back(stack.size()); });
    stack.push_back(Entry{tag, std::move(unknown_name), categories});
    ++open[stack.back()];
}

NestingModel::Entry NestingModel::pop() {
    Entry entry = std::move(stack.back());
    stack.pop_back();
    for_each_bit(entry.categories, [&](unsigned b) { positions[b].pop_back(); });
    --open[entry];
    return entry;
}

}  // namespace velkaron
