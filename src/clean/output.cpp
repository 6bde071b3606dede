#include "clean/output.h"

#include <algorithm>

namespace velkaron::clean {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool is_punctuation(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x80 && u > ' ' && u != 0x7F && !(c >= '0' && c <= '9') &&
           !((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

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
        const std::string_view run = text.substr(i, end - i);
        begin_content();
        before_visible(run.front());
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
        i = end;
    }
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
        before_visible(text[i]);
        out.append(text.substr(i, end - i));
        line_has_content = true;
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
    begin_content();
    out.append(markup);
    line_has_content = true;
}

void Output::inline_markup(std::string_view markup) {
    begin_content();
    if (!markup.empty()) before_visible(markup.front());
    out.append(markup);
    line_has_content = true;
}

void Output::glued(std::string_view markup) {
    out.append(markup);
    line_has_content = true;
}

void Output::separator(std::string_view markup) {
    pending_space = false;
    structure(markup);
    line_has_content = false;  // a cell's leading space is not kept either
}

void Output::push_prefix(std::string first, std::string rest) {
    prefixes.push_back({std::move(first), std::move(rest), false});
}

void Output::pop_prefix() {
    if (!prefixes.empty()) prefixes.pop_back();
}

void Output::open_mark(std::string_view delimiter) { marks.push_back({delimiter}); }

void Output::close_mark() {
    if (marks.empty()) return;
    const Mark mark = marks.back();
    marks.pop_back();
    if (!mark.written) return;
    const char last = out.empty() ? ' ' : out.back();
    if (is_punctuation(last)) {
        check = {true, mark.at, out.size(), mark.delimiter.size()};
    } else {
        check.active = false;
    }
    out.append(mark.delimiter);
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
        check.active = false;
    }
}

void Output::write_breaks() {
    check.active = false;
    if (pending_hard) {
        out.append(hard_break);
    } else {
        // Emphasis cannot span a paragraph break: closed here, reopened after it.
        for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
            if (!mark->written) continue;
            out.append(mark->delimiter);
            mark->written = false;
        }
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

void Output::before_visible(char next) {
    settle_close_check(next);
    for (Mark& mark : marks) {
        if (mark.written || mark.dropped) continue;
        const char previous = line_has_content && !out.empty() ? out.back() : ' ';
        // An opening delimiter before punctuation opens only after a space or punctuation.
        if (is_punctuation(next) && !is_blank(previous) && !is_punctuation(previous)) {
            mark.dropped = true;
            continue;
        }
        mark.at = out.size();
        out.append(mark.delimiter);
        mark.written = true;
    }
}

void Output::settle_close_check(char next) {
    if (!check.active) return;
    check.active = false;
    if (is_punctuation(next) || is_blank(next)) return;
    if (check.close_at + check.length != out.size()) return;
    if (out.size() - check.open_at > erasable_distance) return;
    out.erase(check.close_at, check.length);
    out.erase(check.open_at, check.length);
}

}  // namespace velkaron::clean
