#pragma once

// Which tables Markdown can write as GitHub tables, and how many columns each has. A table
// whose cells hold blocks (lists, code, quotes, headings, rules, other tables), as layout
// tables on older sites do, is written as its blocks instead. Each table is measured once,
// with all the tables inside it, when the first of them is met.

#include <gumbo.h>

#include <unordered_map>

#include "clean/render.h"

namespace velkaron::clean {

struct TableShape {
    bool layout = false;
    unsigned int columns = 0;
};

class TableShapes {
public:
    explicit TableShapes(const RenderOptions& options) : options(options) {}
    const TableShape& of(const GumboNode* table);

private:
    const RenderOptions& options;
    std::unordered_map<const GumboNode*, TableShape> shapes;
};

}  // namespace velkaron::clean
