#pragma once

// The buffer both renderers write into, and the layout rules they share: whitespace collapsed
// as browsers collapse it (or kept, in preformatted text), breaks between blocks asked for and
// written only when more content follows (so no trailing spaces, no doubled blank lines),
// line prefixes for list markers and quotes, and inline marks (emphasis delimiters) that are
// written next to their first character, dropped when Markdown could not read them there,
// closed and reopened around paragraph breaks, left out inside a mark of the same kind and
// joined with a mark of the same kind that closed just before.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron::clean {

// Writes one run of text (no whitespace in it) with whatever escaping the output needs.
using EscapeRun = void (*)(std::string& out, std::string_view run, bool line_start, bool pipes);

class Output {
public:
    // `hard_break` is written at the end of a line a line break ends (Markdown's backslash).
    Output(EscapeRun escape, std::string_view hard_break);

    // Text from the page: whitespace collapsed, or kept as it is.
    void text(std::string_view text);
    void preformatted(std::string_view text);

    void space();                  // collapsible space
    void block(int lines);         // 1: own line, 2: blank line before what follows
    void line_break();             // br

    // Markup: `structure` begins a line's content (heading marker, table row), `inline_markup`
    // stands among text (link brackets), `glued` closes what came before, ahead of any pending
    // space (link targets, closing backticks).
    void structure(std::string_view markup);
    void inline_markup(std::string_view markup);
    void glued(std::string_view markup);
    // Between table cells: any pending space is dropped.
    void separator(std::string_view markup);

    // Line prefixes: `first` on the first line written inside, `rest` on the others.
    void push_prefix(std::string first, std::string rest);
    void pop_prefix();
    bool prefix_used() const { return !prefixes.empty() && prefixes.back().used; }

    // Emphasis delimiters; a link's "[" is a mark too, written with its first visible
    // character, and `close_link` writes the link's tail only when the "[" was written.
    void open_mark(std::string_view delimiter);
    void close_mark();
    void close_link(std::string_view tail);
    // Takes out the markup from `at` to the end, with the delimiters written just before it
    // (they wait for the next visible text again).
    void erase_markup(std::size_t at);

    // Nesting counters: inline (blocks and breaks become spaces), literal (no escaping),
    // pipes (table cells: escape '|' even in code).
    int inline_depth = 0;
    int literal_depth = 0;
    int pipe_depth = 0;

    std::string& buffer() { return out; }
    std::string take() { return std::move(out); }

private:
    struct Prefix {
        std::string first, rest;
        bool used = false;
    };
    struct Mark {
        std::string_view delimiter;
        bool written = false, dropped = false, repeated = false;
        std::size_t at = 0;
    };
    // Where a written mark's delimiters stand.
    struct Written {
        std::string_view delimiter;
        std::size_t open_at, close_at;
    };

    Mark pop_mark();
    void begin_content();           // pending breaks, line prefixes, pending space
    void write_breaks();
    void write_prefixes();
    void before_visible(std::string_view next);  // deferred marks, then the close check
    void settle_close_check(std::string_view next);
    bool opens_here(const Mark& mark, std::string_view next) const;
    bool join_closed(Mark& mark);   // reopening what just closed takes its closing delimiter out
    void wrote() { closed.clear(); }
    bool plain_continuation() const;

    std::string out;
    EscapeRun escape;
    std::string_view hard_break;
    int pending_lines = 0;
    bool pending_hard = false;
    bool pending_space = false;
    bool line_open = false;         // prefixes written on this line
    bool line_has_content = false;
    std::vector<Prefix> prefixes;
    std::vector<Mark> marks;
    std::size_t first_unwritten = 0;         // marks before it are written or dropped
    std::vector<std::string_view> kinds;      // delimiters of the open marks, each once
    // Delimiters closed after punctuation, at the end of the buffer: they read as closing
    // only if no letter follows, else both delimiters of each are taken out.
    std::vector<Written> check;
    // Marks closed at the end of the buffer, in the order they closed.
    std::vector<Written> closed;
};

}  // namespace velkaron::clean
