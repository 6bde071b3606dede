// Markdown: CommonMark with GitHub tables and strikethrough.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "clean/markdown_escape.h"
#include "clean/markdown_syntax.h"
#include "clean/output.h"
#include "clean/render.h"
#include "clean/render_common.h"
#include "clean/render_walk.h"
#include "clean/table_shapes.h"

namespace velkaron::clean {

namespace {

bool is_structure(Role role) {
    switch (role) {
        case Role::heading: case Role::list: case Role::list_item: case Role::term:
        case Role::definition: case Role::table: case Role::row: case Role::cell:
        case Role::blockquote: case Role::preformatted: case Role::rule:
            return true;
        default:
            return false;
    }
}

class Markdown {
public:
    explicit Markdown(const RenderOptions& options)
        : options(options), out(append_markdown_escaped, "\\"), shapes(options) {}

    bool open(const GumboNode* element, TagRule rule) {
        if (is_structure(rule.role)) {
            // Inside a link, a heading or a table cell blocks flow as text; inside code all
            // markup does.
            const bool flat = out.inline_depth > 0 || kept > 0;
            flattened.push_back(flat);
            if (flat) {
                if (rule.role == Role::cell || rule.role == Role::row) out.space();
                return true;
            }
            return open_structure(element, rule);
        }
        if (kept > 0 || code_starts.size() > 0) {
            if (rule.role == Role::line_break) line_break();
            return rule.role != Role::line_break;
        }
        return open_inline(element, rule);
    }

    void close(const GumboNode* element, TagRule rule) {
        if (is_structure(rule.role)) {
            const bool flat = flattened.back();
            flattened.pop_back();
            if (!flat) close_structure(element, rule);
            return;
        }
        if (kept > 0) return;
        if (!code_starts.empty()) {
            if (rule.role == Role::code && code_owner.back() == element) close_code();
            return;
        }
        close_inline(element, rule);
    }

    void text(const GumboNode* node) {
        const char* text = node->v.text.text;
        if (text == nullptr) return;
        if (kept > 0) out.preformatted(text);
        else out.text(text);
    }

    std::string take() { return out.take(); }

private:
    bool open_structure(const GumboNode* element, TagRule rule) {
        switch (rule.role) {
            case Role::heading:
                out.block(2);
                out.structure(std::string(rule.level, '#') + " ");
                ++out.inline_depth;
                return true;
            case Role::list:
                open_list(element, rule.level == 1);
                return true;
            case Role::list_item: {
                out.block(1);
                std::string marker = lists.next_marker(lists.alternate() ? "* " : "- ");
                const std::size_t width = marker.size();
                out.push_prefix(std::move(marker), std::string(width, ' '));
                return true;
            }
            case Role::term:
                out.block(2);
                out.open_mark("**");
                return true;
            case Role::definition:
                out.block(2);
                return true;
            case Role::table:
                out.block(2);
                tables.push_back({shapes.of(element), 0, 0});
                return true;
            case Role::row:
                out.block(tables.empty() || tables.back().shape.layout ? 2 : 1);
                if (!tables.empty()) tables.back().cells = 0;
                return true;
            case Role::cell:
                open_cell();
                return true;
            case Role::blockquote:
                out.block(2);
                out.push_prefix("> ", "> ");
                return true;
            case Role::preformatted:
                open_code_block(element);
                return true;
            default:  // rule
                out.block(2);
                out.structure("---");
                out.block(2);
                return false;
        }
    }

    void close_structure(const GumboNode*, TagRule rule) {
        switch (rule.role) {
            case Role::heading:
                escape_closing_hashes();
                --out.inline_depth;
                out.block(2);
                break;
            case Role::list:
                last_list = {lists.ordered(), lists.alternate(), lists.depth()};
                lists.close();
                out.block(lists.inside() ? 1 : 2);
                last_list.closed_at = out.buffer().size();
                break;
            case Role::list_item:
                if (lists.ordered() && !out.prefix_used()) write_empty_item();
                out.pop_prefix();
                // Text after an item outside any list would continue the item.
                out.block(lists.inside() ? 1 : 2);
                break;
            case Role::term:
                out.close_mark();
                out.block(2);
                break;
            case Role::definition:
                out.block(2);
                break;
            case Role::blockquote:
                out.pop_prefix();
                out.block(2);
                break;
            case Role::table:
                tables.pop_back();
                out.block(2);
                break;
            case Role::row:
                close_row();
                break;
            case Role::cell:
                if (grid()) {
                    --out.inline_depth;
                    --out.pipe_depth;
                } else {
                    out.block(2);
                }
                break;
            case Role::preformatted:
                --kept;
                --out.literal_depth;
                out.block(1);
                out.structure(fences.back());
                fences.pop_back();
                out.block(2);
                break;
            default:
                break;
        }
    }

    bool open_inline(const GumboNode* element, TagRule rule) {
        switch (rule.role) {
            case Role::block: case Role::paragraph: case Role::definition_list:
                // Between the rows of a table a blank line would end it.
                if (!between_rows()) out.block(2);
                return true;
            case Role::line_break:
                line_break();
                return false;
            case Role::strong: out.open_mark("**"); return true;
            case Role::emphasis: out.open_mark("*"); return true;
            case Role::deleted: out.open_mark("~~"); return true;
            case Role::code:
                open_code(element);
                return true;
            case Role::link:
                open_link(element);
                return true;
            case Role::image:
                write_image(element);
                return false;
            case Role::area:
                write_area(element);
                return false;
            case Role::input:
                if (options.form_fields) out.text(input_value(element));
                return false;
            case Role::select:
                if (options.form_fields) out.text(selected_options(element));
                return false;
            case Role::textarea:
                return options.form_fields;
            default:
                return true;
        }
    }

    void close_inline(const GumboNode* element, TagRule rule) {
        switch (rule.role) {
            case Role::block: case Role::paragraph: case Role::definition_list:
                if (!between_rows()) out.block(2);
                break;
            case Role::strong: case Role::emphasis: case Role::deleted:
                out.close_mark();
                break;
            case Role::link:
                close_link(element);
                break;
            default:
                break;
        }
    }

    // A code span holds no breaks: there a break is a space.
    void line_break() {
        if (kept > 0) out.preformatted("\n");
        else if (!code_starts.empty()) out.space();
        else out.line_break();
    }

    bool grid() const { return !tables.empty() && !tables.back().shape.layout; }
    bool between_rows() const { return grid() && out.pipe_depth == 0 && tables.back().rows > 0; }

    // A list right after one of its kind would continue it: the other marker starts a new one.
    // A list inside an item interrupts the item's text only when it numbers from 1.
    void open_list(const GumboNode* list, bool ordered) {
        const bool nested = lists.inside();
        const bool adjacent = last_list.closed_at == out.buffer().size() &&
                              last_list.depth == lists.depth() + 1 && last_list.ordered == ordered;
        lists.open(list, ordered, adjacent && !last_list.alternate);
        out.block(nested && lists.next_number() == 1 ? 1 : 2);
    }

    // An empty numbered item keeps its number, so the items after it keep theirs. As the first
    // item of a list inside an item's text it needs a blank line before it to start the list.
    void write_empty_item() {
        if (lists.at_first_item() && lists.depth() > 1) out.block(2);
        out.structure("");
        std::string& buffer = out.buffer();
        while (!buffer.empty() && buffer.back() == ' ') buffer.pop_back();
    }

    // A closing run of '#' after a space would read as the end of the heading marker.
    void escape_closing_hashes() {
        std::string& buffer = out.buffer();
        const std::size_t run = buffer.find_last_not_of('#');
        if (run == std::string::npos || run + 1 == buffer.size() || buffer[run] != ' ') return;
        buffer.insert(run + 1, 1, '\\');
    }

    // Links open only with an href a reader can follow, and are written only once something
    // visible is: one with nothing to show is left out.
    void open_link(const GumboNode* link) {
        const char* href = attribute_value(link, "href");
        std::string target = link_target(options, href);
        const bool shown = href != nullptr && !is_script_url(target);
        links.push_back(shown ? std::optional<std::string>(std::move(target)) : std::nullopt);
        if (!shown) return;
        out.open_mark("[");
        ++out.inline_depth;
    }

    void close_link(const GumboNode* link) {
        const std::optional<std::string> target = std::move(links.back());
        links.pop_back();
        if (!target) return;
        --out.inline_depth;
        out.close_link(link_tail(*target, attribute_value(link, "title"), out.pipe_depth > 0));
    }

    void open_cell() {
        if (!grid()) {
            out.block(2);
            return;
        }
        Table& table = tables.back();
        out.separator(table.cells++ == 0 ? "| " : " | ");
        ++out.inline_depth;
        ++out.pipe_depth;
    }

    void close_row() {
        if (!grid()) {
            out.block(2);
            return;
        }
        Table& table = tables.back();
        for (unsigned int i = table.cells; i < table.shape.columns; ++i) {
            out.separator(i == 0 ? "| " : " | ");
        }
        out.glued(" |");
        if (table.rows++ == 0) {
            std::string delimiter = "|";
            for (unsigned int i = 0; i < table.shape.columns; ++i) delimiter += " --- |";
            out.block(1);
            out.structure(delimiter);
        }
        out.block(1);
    }

    void open_code_block(const GumboNode* pre) {
        const std::size_t backticks = longest_run_below(pre, '`');
        fences.push_back(std::string(std::max<std::size_t>(3, backticks + 1), '`'));
        out.block(2);
        out.structure(fences.back() + code_language(pre));
        out.block(1);
        ++kept;
        ++out.literal_depth;
    }

    void open_code(const GumboNode* element) {
        out.inline_markup("`");
        std::string& buffer = out.buffer();
        std::size_t at = buffer.size() - 1;
        // Code right after code: their backticks would run together, so the two are one span.
        if (at == last_code.end && last_code.end - last_code.start < joinable_code) {
            buffer.resize(last_code.closing);
            buffer.replace(last_code.start, last_code.opening, "`");
            at = last_code.start;
        }
        code_starts.push_back(at);
        code_owner.push_back(element);
        ++out.literal_depth;
    }

    void close_code() {
        code_owner.pop_back();
        const std::size_t at = code_starts.back();
        code_starts.pop_back();
        --out.literal_depth;
        std::string& buffer = out.buffer();
        const std::string_view content(buffer.data() + at + 1, buffer.size() - at - 1);
        if (content.empty()) {
            out.erase_markup(at);
            return;
        }
        const bool pad = content.front() == '`' || content.back() == '`' ||
                         (content.front() == ' ' && content.back() == ' ');
        const std::string fence(longest_run(content, '`') + 1, '`');
        const std::string opening = pad ? fence + " " : fence;
        buffer.replace(at, 1, opening);
        const std::size_t closing = buffer.size();
        out.glued(pad ? " " + fence : fence);
        last_code = {at, opening.size(), closing, buffer.size()};
    }

    void write_image(const GumboNode* image) {
        const char* src = attribute_value(image, "src");
        const char* alt = attribute_value(image, "alt");
        const std::string target = link_target(options, src);
        if (src == nullptr || is_script_url(target)) {
            if (alt != nullptr && options.alt_text) out.text(alt);
            return;
        }
        out.inline_markup("![");
        ++out.inline_depth;
        if (alt != nullptr) out.text(alt);
        --out.inline_depth;
        out.glued(link_tail(target, attribute_value(image, "title"), out.pipe_depth > 0));
    }

    void write_area(const GumboNode* area) {
        const char* href = attribute_value(area, "href");
        const char* alt = attribute_value(area, "alt");
        if (href == nullptr || is_script_url(link_target(options, href))) {
            if (alt != nullptr && options.alt_text) out.text(alt);
            return;
        }
        open_link(area);
        if (alt != nullptr) out.text(alt);
        close_link(area);
    }

    struct Table {
        const TableShape& shape;
        unsigned int cells, rows;
    };
    // Where the last code span stands: its start, opening length, closing and end.
    struct CodeSpan {
        std::size_t start = 0, opening = 0, closing = 0, end = std::string::npos;
    };
    // Joining moves the span's text; longer spans are left apart (and so read as one span
    // with the backticks between them).
    static constexpr std::size_t joinable_code = 512;
    struct ClosedList {
        bool ordered = false, alternate = false;
        std::size_t depth = 0, closed_at = std::string::npos;
    };

    const RenderOptions& options;
    Output out;
    TableShapes shapes;
    ListCounter lists;
    std::vector<Table> tables;
    std::vector<bool> flattened;
    std::vector<std::string> fences;
    std::vector<std::size_t> code_starts;
    std::vector<const GumboNode*> code_owner;
    std::vector<std::optional<std::string>> links;  // each open link's target, if written as one
    ClosedList last_list;
    CodeSpan last_code;
    int kept = 0;  // inside code blocks
};

}  // namespace

std::string markdown(const GumboNode* start, const RenderOptions& options) {
    Markdown renderer(options);
    render_walk(start, options, renderer);
    return renderer.take();
}

}  // namespace velkaron::clean
