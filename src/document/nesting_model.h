#pragma once

#include <gumbo.h>

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velkaron {

// Elements whose content is text up to their own end tag: the scan skips it, and they never
// nest further, so the cap never drops them.
bool holds_raw_text(GumboTag tag);

// A cheap model of the parser's stack of open elements, fed the start and end tags of a page
// in order, so that nesting beyond a cap can be flattened before the parser sees it (the
// parser's scope checks walk that stack, so its time grows with the square of the depth).
//
// At the cap, the element about to open is kept as a sibling of the deepest one: the model
// closes the deepest element just before the start tag, and remembers it as closed early so
// that its own end tag, when it comes, is matched to it and not to an ancestor. Nothing is cut:
// every element keeps its attributes and content.
//
// The model follows the common implied closings (a paragraph closed by a block, a list item by
// the next, table cells and rows, repeated links and headings) and otherwise closes only on an
// end tag of a name that is open. Where it is unsure it keeps an element open: it may count a
// page deeper than the parser builds it, rarely shallower. Every step is amortised constant,
// bar the joining of groups closed early, which moves the smaller group (logarithmic).
class NestingModel {
public:
    // A cap of 0 acts as 1: an element below body has to go somewhere.
    explicit NestingModel(std::size_t max_depth) : max_depth(max_depth == 0 ? 1 : max_depth) {}

    // A start tag; `name` as written, `tag` what the parser makes of it. Returns the end tag
    // to write before it when it would open beyond the cap, else nothing.
    std::optional<std::string> start(GumboTag tag, std::string_view name, bool self_closing);
    // An end tag; returns what to write in its place (possibly nothing) when it closes an
    // element that was closed early, else no replacement.
    std::optional<std::string> end(GumboTag tag, std::string_view name);

    static constexpr unsigned category_count = 17;

private:
    struct Entry {
        GumboTag tag;
        std::string unknown_name;  // lower-cased, for tags the parser does not know
        unsigned categories;
    };

    // How many entries of each name a stack holds.
    class NameCount {
    public:
        std::size_t& operator[](const Entry& entry);
        bool holds(GumboTag tag, const std::string& unknown_name) const;

    private:
        std::size_t known[GUMBO_TAG_LAST + 1] = {};
        std::unordered_map<std::string, std::size_t> unknown;
    };

    // Elements closed early, written between stack[base - 1] and stack[base], outer first.
    struct Group {
        std::size_t base;
        std::deque<Entry> entries;
    };

    void push(GumboTag tag, std::string unknown_name);
    Entry pop();
    // Closes the current element early: its end tag, when it comes, is matched to it.
    void demote();
    // How an implied closing ends the current element: early when elements closed early
    // are written inside it (they still bar the closings their end tags would make).
    void close_top();
    // Pops down to and including the topmost entry in `category` when none of `barriers`
    // stands above it; returns whether it popped.
    bool close_in_scope(unsigned category, unsigned barriers);
    void close_implied_by(GumboTag tag);
    // Closes what an end tag closes, from the innermost element out; returns the end tags
    // the parser needs when the match is an element already closed early.
    std::optional<std::string> close_to_name(GumboTag tag, const std::string& unknown_name);

    std::size_t max_depth;
    // The elements open in the parser, never more than the cap (bar one raw-text element).
    std::vector<Entry> stack;
    // Per category, the stack positions of its open entries, innermost last.
    std::vector<std::size_t> positions[category_count];
    NameCount open;
    // By increasing base, none above the stack's size; only those not empty.
    std::vector<Group> closed_early;
    NameCount early;
};

}  // namespace velkaron
