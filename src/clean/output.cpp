#include "clean/output.h"

#include <algorithm>

#include "clean/char_classes.h"

namespace velkaron::clean {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }


// Deleting a mark moves what follows it; only marks this close to the end are deleted, so a
// page of unreadable marks still costs linear time.
constexpr std::size_t erasable_distance = 4096;

}  // namespace

Output::Output(EscapeRun escape, std::string_view hard_break)
    : escape(escape), hard_break(hard_break) {
    out.reserve(4096);
}

void Output::text(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (is_blank(text[i])) {
            space();
            while (i < text.size() && is_blank(text[i])) ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !is_blank(text[end])) ++end;
        std::string_view run = text.substr(i, end - i);
        if (plain_continuation()) {
            // A later word of running text with no delimiter waiting: the space and the word.
            if (pending_space) out += ' ';
            pending_space = false;
            const std::size_t lead = leading_space(run);
            out.append(run.substr(0, lead));
            escape(out, run.substr(lead), false, pipe_depth > 0);
            wrote();
            i = end;
            continue;
        }
        begin_content();
        // Delimiters go after leading non-breaking spaces: next to one they would not open.
        const std::size_t lead = escape != nullptr ? leading_space(run) : 0;
        if (lead > 0) {
            settle_close_check(run);
            out.append(run.substr(0, lead));
            line_has_content = true;
            wrote();
            run.remove_prefix(lead);
            i += lead;
            if (run.empty()) continue;
        }
        before_visible(run);
        if (literal_depth > 0 || escape == nullptr) {
            if (pipe_depth > 0 && escape != nullptr) {
                for (char c : run) {
                    if (c == '|') out += '\\';
                    out += c;
                }
            } else {
                out.append(run);
            }
        } else {
            escape(out, run, !line_has_content, pipe_depth > 0);
        }
        line_has_content = true;
        wrote();
        i = end;
    }
}

// Mid-line text with nothing pending but a space: no breaks, prefixes, delimiters to open or
// closings to check, so a word needs only its escapes (what the full path would do then).
bool Output::plain_continuation() const {
    return escape != nullptr && literal_depth == 0 && pending_lines == 0 && line_open &&
           line_has_content && first_unwritten >= marks.size() && check.empty();
}

void Output::preformatted(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\n') {
            if (inline_depth > 0) {
                space();
            } else {
                ++pending_lines;
                pending_hard = false;
                pending_space = false;
            }
            ++i;
            continue;
        }
        const std::size_t end = std::min(text.find('\n', i), text.size());
        begin_content();
        // Inside a code block, delimiters would be code: they wait for the text after it.
        if (literal_depth == 0) before_visible(text.substr(i, end - i));
        out.append(text.substr(i, end - i));
        line_has_content = true;
        wrote();
        i = end;
    }
}

void Output::space() {
    if (line_has_content && pending_lines == 0) pending_space = true;
}

void Output::block(int lines) {
    if (inline_depth > 0) {
        space();
        return;
    }
    if (pending_hard && lines > pending_lines) pending_hard = false;
    pending_lines = std::max(pending_lines, lines);
    pending_space = false;
}

void Output::line_break() {
    if (inline_depth > 0) {
        space();
        return;
    }
    if (pending_lines == 0) pending_hard = true;
    else pending_hard = false;
    pending_lines = std::min(pending_lines + 1, 2);
    pending_space = false;
}

void Output::structure(std::string_view markup) {
    pending_hard = false;  // a backslash before a new block would read as text
    begin_content();
    out.append(markup);
    line_has_content = true;
    wrote();
}

void Output::inline_markup(std::string_view markup) {
    begin_content();
    if (markup.empty()) return;
    before_visible(markup);
    out.append(markup);
    line_has_content = true;
    wrote();
}

void Output::glued(std::string_view markup) {
    out.append(markup);
    line_has_content = true;
    wrote();
}

void Output::separator(std::string_view markup) {
    pending_space = false;
    structure(markup);
    line_has_content = false;  // a cell's leading space is not kept either
}

void Output::push_prefix(std::string first, std::string rest) {
    pending_hard = false;
    prefixes.push_back({std::move(first), std::move(rest), false});
}

void Output::pop_prefix() {
    pending_hard = false;
    if (!prefixes.empty()) prefixes.pop_back();
}

void Output::open_mark(std::string_view delimiter) {
    // Strong inside strong says nothing more, and its delimiters would run together.
    const bool repeated = std::find(kinds.begin(), kinds.end(), delimiter) != kinds.end();
    if (!repeated) kinds.push_back(delimiter);
    marks.push_back({delimiter, false, repeated, repeated});
}

Output::Mark Output::pop_mark() {
    const Mark mark = marks.back();
    marks.pop_back();
    first_unwritten = std::min(first_unwritten, marks.size());
    if (!mark.repeated) kinds.erase(std::find(kinds.begin(), kinds.end(), mark.delimiter));
    return mark;
}

void Output::close_link(std::string_view tail) {
    if (marks.empty() || !pop_mark().written) return;
    check.clear();
    out.append(tail);
    line_has_content = true;
    wrote();
}

void Output::erase_markup(std::size_t at) {
    for (std::size_t i = marks.size(); i > 0; --i) {
        Mark& mark = marks[i - 1];
        if (!mark.written) continue;
        if (mark.at + mark.delimiter.size() != at) break;
        mark.written = false;
        at = mark.at;
        first_unwritten = std::min(first_unwritten, i - 1);
    }
    out.resize(at);
    if (!out.empty() && out.back() == ' ') pending_space = false;
    check.clear();
    wrote();
}

void Output::close_mark() {
    if (marks.empty()) return;
    const Mark mark = pop_mark();
    if (!mark.written) return;
    // Before trailing non-breaking spaces: after one a delimiter would not close.
    const std::size_t trail = trailing_space(std::string_view(out).substr(mark.at + mark.delimiter.size()));
    if (trail > 0) {
        out.insert(out.size() - trail, mark.delimiter);
        check.clear();
        wrote();
        return;
    }
    const Written written{mark.delimiter, mark.at, out.size()};
    // A run of closing delimiters reads by the character before the whole run.
    const bool after_delimiter =
        !closed.empty() && closed.back().close_at + closed.back().delimiter.size() == out.size();
    if (after_delimiter && !check.empty() && check.back().close_at == closed.back().close_at) {
        check.push_back(written);
    } else if (!after_delimiter && last_class(out) == CharClass::punctuation) {
        check.assign(1, written);
    } else {
        check.clear();
    }
    out.append(mark.delimiter);
    closed.push_back(written);
}

void Output::begin_content() {
    if (pending_lines > 0) {
        if (!out.empty()) write_breaks();
        pending_lines = 0;
        pending_hard = false;
        pending_space = false;
        line_open = false;
        line_has_content = false;
    }
    if (!line_open) write_prefixes();
    if (pending_space) {
        out += ' ';
        pending_space = false;
        check.clear();
        wrote();
    }
}

void Output::write_breaks() {
    check.clear();
    wrote();
    if (pending_hard) {
        out.append(hard_break);
    } else {
        // Emphasis cannot span a paragraph break: closed here, reopened after it.
        for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
            if (!mark->written) continue;
            out.append(mark->delimiter);
            mark->written = false;
        }
        first_unwritten = 0;
    }
    std::string blank;
    for (const Prefix& prefix : prefixes) {
        if (prefix.used) blank += prefix.rest;
    }
    while (!blank.empty() && blank.back() == ' ') blank.pop_back();
    for (int line = 0; line < pending_lines; ++line) {
        out += '\n';
        if (line + 1 < pending_lines) out += blank;
    }
}

void Output::write_prefixes() {
    for (Prefix& prefix : prefixes) {
        out += prefix.used ? prefix.rest : prefix.first;
        prefix.used = true;
    }
    line_open = true;
}

void Output::before_visible(std::string_view next) {
    for (std::size_t i = first_unwritten; i < marks.size(); ++i) {
        Mark& mark = marks[i];
        if (!mark.written && !mark.dropped && !join_closed(mark)) break;
    }
    settle_close_check(next);
    for (std::size_t i = first_unwritten; i < marks.size(); ++i) {
        Mark& mark = marks[i];
        if (mark.written || mark.dropped) continue;
        if (mark.delimiter == "[") {
            // "!" just before a link's "[" would make it an image.
            if (line_has_content && !out.empty() && out.back() == '!') out.insert(out.size() - 1, 1, '\\');
        } else if (!opens_here(mark, next)) {
            mark.dropped = true;
            continue;
        }
        mark.at = out.size();
        out.append(mark.delimiter);
        mark.written = true;
    }
    first_unwritten = marks.size();
}

// Whether an opening delimiter written here reads as one: before punctuation only after a
// space or punctuation, and not where it could also close (between two punctuation marks or
// inside a word) while another delimiter of the same character is open.
bool Output::opens_here(const Mark& mark, std::string_view next) const {
    const CharClass before = line_has_content ? last_class(out) : CharClass::space;
    const CharClass after = first_class(next);
    if (after == CharClass::punctuation && before == CharClass::other) return false;
    if (before != after || before == CharClass::space) return true;
    return std::none_of(kinds.begin(), kinds.end(), [&](std::string_view kind) {
        return kind != mark.delimiter && kind.front() == mark.delimiter.front();
    });
}

bool Output::join_closed(Mark& mark) {
    if (closed.empty()) return false;
    const Written last = closed.back();
    if (last.delimiter != mark.delimiter || last.close_at + last.delimiter.size() != out.size()) {
        return false;
    }
    closed.pop_back();
    out.resize(last.close_at);
    if (!check.empty() && check.back().close_at == last.close_at) check.pop_back();
    mark.at = last.open_at;
    mark.written = true;
    return true;
}

void Output::settle_close_check(std::string_view next) {
    if (check.empty()) return;
    std::vector<Written> checked;
    checked.swap(check);
    if (first_class(next) != CharClass::other) return;
    const Written& last = checked.back();
    if (last.close_at + last.delimiter.size() != out.size()) return;
    if (out.size() - checked.front().open_at > erasable_distance) return;
    // From the end back, so the positions still to erase stay where they were: the closing
    // delimiters outermost first, then the opening ones innermost first.
    for (auto mark = checked.rbegin(); mark != checked.rend(); ++mark) {
        out.erase(mark->close_at, mark->delimiter.size());
    }
    for (const Written& mark : checked) {
        out.erase(mark.open_at, mark.delimiter.size());
    }
    wrote();
}

}  // namespace velkaron::clean
