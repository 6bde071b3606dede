#pragma once

// What both renderers read from elements the same way: list numbering, form values, link
// targets.

#include <gumbo.h>

#include <string>
#include <string_view>
#include <vector>

#include "clean/render.h"

namespace velkaron::clean {

// The marker of each list item, counted per open list.
class ListCounter {
public:
    // `alternate`: numbered "1)" instead of "1." (the caller picks its own other bullet).
    void open(const GumboNode* list, bool ordered, bool alternate = false);
    void close();
    bool inside() const { return !lists.empty(); }
    std::size_t depth() const { return lists.size(); }
    bool ordered() const { return inside() && lists.back().ordered; }
    bool alternate() const { return inside() && lists.back().alternate; }
    long long next_number() const { return ordered() ? lists.back().next : 1; }
    bool at_first_item() const { return inside() && lists.back().items == 1; }
    // "1. " numbered from `start`, or `bullet` for unordered lists and items outside any list.
    std::string next_marker(const char* bullet);

private:
    struct List {
        bool ordered, alternate;
        long long next;
        unsigned long long items;
    };
    std::vector<List> lists;
};

// What a form field shows: an input's value (hidden, password and choice inputs show none),
// the selected options of a select (its first option when none is selected).
std::string input_value(const GumboNode* input);
std::string selected_options(const GumboNode* select);

// The href made absolute against the options' base when there is one.
std::string link_target(const RenderOptions& options, const char* href);

// Whether a URL runs script (javascript:, vbscript:) when followed, read as browsers read
// the scheme: leading spaces and controls skipped, tabs and newlines ignored, any case.
bool is_script_url(std::string_view url);

// Text of the text children below `node`, whitespace collapsed.
std::string collapsed_text(const GumboNode* node);
// The longest run of `c` in the text below `node` (as in its collapsed text, without making it).
std::size_t longest_run_below(const GumboNode* node, char c);

}  // namespace velkaron::clean
