#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron {

// Every text and whitespace run of the document, concatenated in document order while the
// indexes are built, with each element's run range. An element's text is then one slice of the
// buffer and its strings are consecutive runs, whatever the depth of its subtree.
class TextBuffer {
public:
    // Elements are opened in document order (position 0, 1, 2, ...) and closed after their
    // subtree; runs are appended in between.
    void open(std::uint32_t position);
    void close(std::uint32_t position);
    // `whitespace`: the run is a whitespace-only node, which the whole-document text queries skip.
    void append(const char* text, bool whitespace);

    // False when the document's text does not fit the 32-bit offsets; callers walk the tree then.
    bool usable() const { return fits; }
    bool has(std::uint32_t position) const { return fits && position < ranges.size(); }

    std::string_view text(std::uint32_t position) const;
    // Calls emit(std::string_view) for every run of the element, in document order.
    template <typename Emit>
    void for_each_run(std::uint32_t position, Emit&& emit) const {
        const Range range = ranges[position];
        for (std::uint32_t run = range.first; run < range.end; ++run) emit(run_text(run));
    }
    // The element's runs that are not whitespace-only nodes, concatenated.
    std::string text_without_whitespace_nodes(std::uint32_t position) const;

    std::size_t memory_bytes() const;

private:
    struct Range {
        std::uint32_t first;
        std::uint32_t end;
    };
    std::uint32_t run_begin(std::uint32_t run) const { return run == 0 ? 0 : run_ends[run - 1]; }
    std::string_view run_text(std::uint32_t run) const {
        return std::string_view(bytes).substr(run_begin(run), run_ends[run] - run_begin(run));
    }

    std::string bytes;
    std::vector<std::uint32_t> run_ends;
    // Indexes of the runs that are not whitespace-only nodes, ascending.
    std::vector<std::uint32_t> text_runs;
    std::vector<Range> ranges;
    bool fits = true;
};

}  // namespace velkaron
