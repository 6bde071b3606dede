// Where a parsed document's bytes go: the heap that gumbo's tree holds after a parse alone,
// with gumbo's own allocator and in the tree's arena, against the heap a whole velkaron::Tree
// holds (that tree in its arena, the indexes, the text buffer, the handles and caches), on the
// same input. gumbo alone parses the text as the tree's markup limits leave it, as the tree's
// own parse does. "ours" is what the tree holds beyond gumbo's tree in the arena. Prints one
// JSON object.
//
//   bench_memory FILE

#include <gumbo.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "document/markup_limits.h"
#include "document/parse_arena.h"
#include "document/parser.h"
#include "document/tree.h"

namespace {

std::size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_memory FILE\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::unique_ptr<std::string> limited =
        velkaron::within_limits(html, velkaron::MarkupLimits());
    const std::string& source = limited != nullptr ? *limited : html;
    std::size_t before = heap_in_use();
    // With gumbo's own allocator: the baseline a tree's arena is measured against.
    bool in_arena = false;
    GumboOutput* output = velkaron::parse_document(source.c_str(), source.size(), nullptr, in_arena);
    const std::size_t gumbo_bytes = heap_in_use() - before;
    velkaron::destroy_document(output, source.size());

    before = heap_in_use();
    std::size_t arena_bytes = 0;
    {
        velkaron::ParseArena arena;
        output = velkaron::parse_document(source.c_str(), source.size(), &arena, in_arena);
        arena_bytes = heap_in_use() - before;
    }

    before = heap_in_use();
    auto tree = std::make_unique<velkaron::Tree>(html);
    const std::size_t tree_bytes = heap_in_use() - before;
    std::printf("{\"input_bytes\": %zu, \"gumbo_bytes\": %zu, \"gumbo_arena_bytes\": %zu, "
                "\"tree_bytes\": %zu, \"ours_bytes\": %lld}\n",
                html.size(), gumbo_bytes, arena_bytes, tree_bytes,
                static_cast<long long>(tree_bytes) - static_cast<long long>(arena_bytes));
    return 0;
}
