// A single pass over the markup that finds tags and attributes the way the parser's tokenizer
// does in the states that matter (text, tags, quoted values, comments, raw-text elements), so
// that limits are applied before the parser spends quadratic time on them.

#include "document/markup_limits.h"

#include <gumbo.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/nesting_model.h"
#include "document/tag_lookup.h"

namespace velkaron {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes [begin, end) of the markup to be replaced by `text`.
struct Edit {
    std::size_t begin;
    std::size_t end;
    std::string text;
};

class LimitScan {
public:
    LimitScan(std::string_view text, const MarkupLimits& limits)
        : text(text), limits(limits), nesting(limits.max_depth) {}

    // The edits, in order and not overlapping.
    std::vector<Edit> run() {
        while ((at = text.find('<', at)) != std::string_view::npos) tag_or_markup();
        return std::move(edits);
    }

private:
    void tag_or_markup() {
        const std::size_t open = at;
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (next == '!' && text.compare(at, 4, "<!--") == 0) return skip_comment();
        if (next == '!' || next == '?') return skip_past('>', at + 2);
        const bool end_tag = next == '/';
        const std::size_t name_at = open + (end_tag ? 2 : 1);
        if (name_at >= text.size() || !is_letter(text[name_at])) {
            // "</>" and "</" before a non-letter are bogus comments; "<" alone is text.
            if (end_tag) return skip_past('>', name_at);
            ++at;
            return;
        }
        std::size_t name_end = name_at;
        while (name_end < text.size() && !is_space(text[name_end]) && text[name_end] != '/' &&
               text[name_end] != '>') {
            ++name_end;
        }
        const std::string_view name = text.substr(name_at, name_end - name_at);
        const GumboTag tag = tag_of_name(name);
        bool self_closing = false;
        if (end_tag) {
            at = attributes(name_end, nullptr, self_closing);
            std::optional<std::string> replacement = nesting.end(tag, name);
            if (replacement) edits.push_back(Edit{open, at, std::move(*replacement)});
            return;
        }
        std::vector<Edit> attribute_cuts;
        at = attributes(name_end, &attribute_cuts, self_closing);
        std::optional<std::string> closing = nesting.start(tag, name, self_closing);
        if (closing) edits.push_back(Edit{open, open, std::move(*closing)});
        for (Edit& cut : attribute_cuts) edits.push_back(std::move(cut));
        if (tag == GUMBO_TAG_PLAINTEXT) {
            at = text.size();
        } else if (holds_raw_text(tag)) {
            skip_raw_text(name);
        }
    }

    // Reads attributes from `from` to the end of the tag; returns the position after it.
    // Attributes past the cap are added to `extra` (null for end tags).
    std::size_t attributes(std::size_t from, std::vector<Edit>* extra, bool& self_closing) {
        std::size_t i = from;
        std::size_t count = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (is_space(c)) {
                ++i;
                continue;
            }
            if (c == '>') return i + 1;
            if (c == '/') {
                self_closing = i + 1 < text.size() && text[i + 1] == '>';
                ++i;
                continue;
            }
            self_closing = false;
            const std::size_t start = i;
            // The first character is part of the name even when it is '='.
            ++i;
            while (i < text.size() && !is_space(text[i]) && text[i] != '/' && text[i] != '>' &&
                   text[i] != '=') {
                ++i;
            }
            i = value_end(i);
            if (extra != nullptr && ++count > limits.max_attributes) extra->push_back(Edit{start, i, {}});
        }
        return i;
    }

    // After an attribute's name: the position after its value, or after the name when it has
    // none.
    std::size_t value_end(std::size_t i) const {
        std::size_t j = i;
        while (j < text.size() && is_space(text[j])) ++j;
        if (j >= text.size() || text[j] != '=') return i;
        ++j;
        while (j < text.size() && is_space(text[j])) ++j;
        if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
            const std::size_t close = text.find(text[j], j + 1);
            return close == std::string_view::npos ? text.size() : close + 1;
        }
        while (j < text.size() && !is_space(text[j]) && text[j] != '>') ++j;
        return j;
    }

    void skip_comment() {
        const std::size_t body = at + 4;
        if (text.compare(body, 1, ">") == 0) {
            at = body + 1;
        } else if (text.compare(body, 2, "->") == 0) {
            at = body + 2;
        } else {
            const std::size_t close = text.find("-->", body);
            at = close == std::string_view::npos ? text.size() : close + 3;
        }
    }

    void skip_past(char c, std::size_t from) {
        const std::size_t found = text.find(c, from);
        at = found == std::string_view::npos ? text.size() : found + 1;
    }

    // Moves to the end tag that closes a raw-text element named `name`, or to the end.
    void skip_raw_text(std::string_view name) {
        for (std::size_t i = text.find("</", at); i != std::string_view::npos;
             i = text.find("</", i + 2)) {
            const std::size_t after = i + 2 + name.size();
            if (after > text.size()) break;
            bool same = true;
            for (std::size_t k = 0; k < name.size() && same; ++k) {
                same = lower(text[i + 2 + k]) == lower(name[k]);
            }
            if (same && (after == text.size() || is_space(text[after]) || text[after] == '/' ||
                         text[after] == '>')) {
                at = i;
                return;
            }
        }
        at = text.size();
    }

    std::string_view text;
    const MarkupLimits& limits;
    NestingModel nesting;
    std::size_t at = 0;
    std::vector<Edit> edits;
};

}  // namespace

std::unique_ptr<std::string> within_limits(std::string_view html, const MarkupLimits& limits) {
    if (limits.max_attributes == MarkupLimits::unlimited &&
        limits.max_depth == MarkupLimits::unlimited) {
        return nullptr;
    }
    const std::vector<Edit> edits = LimitScan(html, limits).run();
    if (edits.empty()) return nullptr;
    auto kept = std::make_unique<std::string>();
    kept->reserve(html.size());
    std::size_t from = 0;
    for (const Edit& edit : edits) {
        kept->append(html, from, edit.begin - from);
        kept->append(edit.text);
        from = edit.end;
    }
    kept->append(html, from, std::string::npos);
    return kept;
}

}  // namespace velkaron
