// Readable text: what a browser shows, one block per line, cells split by tabs.

#include <string_view>

#include "clean/output.h"
#include "clean/render.h"
#include "clean/render_common.h"
#include "clean/render_walk.h"

namespace velkaron::clean {

namespace {

class PlainText {
public:
    explicit PlainText(const RenderOptions& options) : options(options), out(nullptr, "") {}

    bool open(const GumboNode* element, TagRule rule) {
        switch (rule.role) {
            case Role::block: case Role::term: case Role::definition:
                out.block(1);
                return true;
            case Role::paragraph: case Role::heading: case Role::blockquote:
            case Role::definition_list: case Role::table: case Role::preformatted:
                out.block(2);
                if (rule.role == Role::preformatted) ++kept;
                return true;
            case Role::list:
                out.block(lists.inside() ? 1 : 2);
                lists.open(element, rule.level == 1);
                return true;
            case Role::list_item:
                out.block(1);
                if (options.list_bullets) {
                    std::string marker = lists.next_marker("\xE2\x80\xA2 ");
                    // The bullet is one character wide, a number as many as its bytes.
                    const std::size_t width = marker.size() == 4 ? 2 : marker.size();
                    out.push_prefix(std::move(marker), std::string(width, ' '));
                }
                return true;
            case Role::row:
                out.block(1);
                cells.push_back(0);
                row_starts.push_back(out.buffer().size());
                return true;
            case Role::cell:
                if (!cells.empty() && cells.back()++ > 0) out.separator("\t");
                ++out.inline_depth;
                return true;
            case Role::rule:
                out.block(2);
                return false;
            case Role::line_break:
                out.line_break();
                return false;
            case Role::image: case Role::area:
                if (options.alt_text) write_attribute(element, "alt");
                return false;
            case Role::input:
                if (options.form_fields) out.text(input_value(element));
                return false;
            case Role::select:
                if (options.form_fields) out.text(selected_options(element));
                return false;
            case Role::textarea:
                if (options.form_fields) ++kept;
                return options.form_fields;
            default:
                return true;
        }
    }

    void close(const GumboNode* element, TagRule rule) {
        switch (rule.role) {
            case Role::row:
                close_row();
                out.block(1);
                break;
            case Role::block: case Role::term: case Role::definition:
                out.block(1);
                break;
            case Role::preformatted:
                --kept;
                out.block(2);
                break;
            case Role::paragraph: case Role::heading: case Role::blockquote:
            case Role::definition_list: case Role::table:
                out.block(2);
                break;
            case Role::list:
                lists.close();
                out.block(lists.inside() ? 1 : 2);
                break;
            case Role::list_item:
                if (options.list_bullets) out.pop_prefix();
                out.block(1);
                break;
            case Role::cell:
                --out.inline_depth;
                break;
            case Role::textarea:
                if (options.form_fields) --kept;
                break;
            case Role::link: case Role::area:
                if (options.links) write_link_target(element);
                break;
            default:
                break;
        }
    }

    void text(const GumboNode* node) {
        const char* text = node->v.text.text;
        if (text == nullptr) return;
        if (kept > 0) out.preformatted(text);
        else out.text(text);
    }

    std::string take() { return out.take(); }

private:
    // Empty cells at the end of a row leave no tabs behind.
    void close_row() {
        if (cells.empty()) return;
        cells.pop_back();
        std::string& buffer = out.buffer();
        while (buffer.size() > row_starts.back() && buffer.back() == '\t') buffer.pop_back();
        row_starts.pop_back();
    }

    void write_attribute(const GumboNode* element, const char* name) {
        const char* value = attribute_value(element, name);
        if (value != nullptr) out.text(value);
    }

    void write_link_target(const GumboNode* link) {
        const char* href = attribute_value(link, "href");
        if (href == nullptr) return;
        out.space();
        out.inline_markup("<" + link_target(options, href) + ">");
    }

    const RenderOptions& options;
    Output out;
    ListCounter lists;
    std::vector<int> cells;
    std::vector<std::size_t> row_starts;
    int kept = 0;  // inside elements that keep whitespace
};

}  // namespace

std::string plain_text(const GumboNode* start, const RenderOptions& options) {
    PlainText renderer(options);
    render_walk(start, options, renderer);
    return renderer.take();
}

}  // namespace velkaron::clean
