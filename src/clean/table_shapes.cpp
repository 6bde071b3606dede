#include "clean/table_shapes.h"

#include <algorithm>
#include <vector>

#include "clean/render_walk.h"

namespace velkaron::clean {

namespace {

bool holds_blocks(Role role) {
    switch (role) {
        case Role::table: case Role::list: case Role::preformatted: case Role::blockquote:
        case Role::heading: case Role::rule: case Role::definition_list:
            return true;
        default:
            return false;
    }
}

class Measure {
public:
    explicit Measure(std::unordered_map<const GumboNode*, TableShape>& shapes) : shapes(shapes) {}

    bool open(const GumboNode* element, TagRule rule) {
        if (!open_tables.empty()) {
            Open& table = open_tables.back();
            if (table.cell_depth > 0 && holds_blocks(rule.role)) shape(table).layout = true;
            if (rule.role == Role::row && table.cell_depth == 0) table.cells = 0;
            if (rule.role == Role::cell && table.cell_depth++ == 0) {
                TableShape& measured = shape(table);
                measured.columns = std::max(measured.columns, ++table.cells);
            }
        }
        if (rule.role == Role::table) {
            shapes[element] = TableShape{};
            open_tables.push_back({element});
        }
        return true;
    }

    void close(const GumboNode*, TagRule rule) {
        if (open_tables.empty()) return;
        if (rule.role == Role::table) {
            Open& table = open_tables.back();
            if (shape(table).columns == 0) shape(table).layout = true;
            open_tables.pop_back();
        } else if (rule.role == Role::cell) {
            --open_tables.back().cell_depth;
        }
    }

    void text(const GumboNode*) {}

private:
    struct Open {
        const GumboNode* table;
        unsigned int cells = 0;
        int cell_depth = 0;
    };
    TableShape& shape(const Open& table) { return shapes[table.table]; }

    std::unordered_map<const GumboNode*, TableShape>& shapes;
    std::vector<Open> open_tables;
};

}  // namespace

const TableShape& TableShapes::of(const GumboNode* table) {
    auto found = shapes.find(table);
    if (found != shapes.end()) return found->second;
    Measure measure(shapes);
    render_walk(table, options, measure);
    return shapes[table];
}

}  // namespace velkaron::clean
