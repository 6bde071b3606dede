#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velkaron {

// Elements whose content is text up to their own end tag: the scan skips it, and they never
// nest further, so the cap never drops them.
bool holds_raw_text(GumboTag tag);

// A cheap model of the parser's stack of open elements, fed the start and end tags of a page
// in order, so that nesting beyond a cap can be cut before the parser sees it (the parser's
// scope checks walk that stack, so its time grows with the square of the depth).
//
// The model follows the common implied closings (a paragraph closed by a block, a list item by
// the next, table cells and rows, repeated links and headings) and otherwise closes only on an
// end tag of a name that is open. Where it is unsure it keeps an element open: it may count a
// page deeper than the parser builds it, rarely shallower. Every step is amortised constant.
class NestingModel {
public:
    explicit NestingModel(std::size_t max_depth) : max_depth(max_depth) {}

    // A start tag; `name` as written, `tag` what the parser makes of it. False when the
    // element would open beyond the cap: the caller drops the tag, and the model remembers so
    // the matching end tag is dropped too.
    bool start(GumboTag tag, std::string_view name, bool self_closing);
    // An end tag; false when it closes an element whose start tag was dropped.
    bool end(GumboTag tag, std::string_view name);

    static constexpr unsigned category_count = 17;

private:
    struct Entry {
        GumboTag tag;
        std::string unknown_name;  // lower-cased, for tags the parser does not know
        bool dropped;
        unsigned categories;
    };

    void push(GumboTag tag, std::string unknown_name, bool dropped);
    Entry pop();
    // Pops down to and including the topmost entry in `category` when none of `barriers`
    // stands above it; returns whether it popped.
    bool close_in_scope(unsigned category, unsigned barriers);
    bool pop_to_name(GumboTag tag, const std::string& unknown_name);
    std::size_t& open_count(GumboTag tag, const std::string& unknown_name);
    void close_implied_by(GumboTag tag);

    std::size_t max_depth;
    std::size_t kept_depth = 0;
    std::vector<Entry> stack;
    // Per category, the stack positions of its open entries, innermost last.
    std::vector<std::size_t> positions[category_count];
    std::size_t known_open[GUMBO_TAG_LAST + 1] = {};
    std::unordered_map<std::string, std::size_t> unknown_open;
};

}  // namespace velkaron
