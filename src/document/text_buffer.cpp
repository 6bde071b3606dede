#include "document/text_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velkaron {

namespace {

constexpr std::size_t offset_limit = std::numeric_limits<std::uint32_t>::max();

}  // namespace

void TextBuffer::open(std::uint32_t position) {
    if (!fits) return;
    if (position != ranges.size()) {
        fits = false;
        return;
    }
    const auto runs = static_cast<std::uint32_t>(run_ends.size());
    ranges.push_back(Range{runs, runs});
}

void TextBuffer::close(std::uint32_t position) {
    if (fits && position < ranges.size()) ranges[position].end = static_cast<std::uint32_t>(run_ends.size());
}

void TextBuffer::append(const char* text, bool whitespace) {
    if (!fits) return;
    const std::size_t length = std::strlen(text);
    if (bytes.size() + length > offset_limit || run_ends.size() + 1 >= offset_limit) {
        fits = false;
        return;
    }
    if (!whitespace) text_runs.push_back(static_cast<std::uint32_t>(run_ends.size()));
    bytes.append(text, length);
    run_ends.push_back(static_cast<std::uint32_t>(bytes.size()));
}

std::string_view TextBuffer::text(std::uint32_t position) const {
    const Range range = ranges[position];
    if (range.first == range.end) return {};
    const std::uint32_t begin = run_begin(range.first);
    return std::string_view(bytes).substr(begin, run_ends[range.end - 1] - begin);
}

std::string TextBuffer::text_without_whitespace_nodes(std::uint32_t position) const {
    const Range range = ranges[position];
    std::string text;
    auto run = std::lower_bound(text_runs.begin(), text_runs.end(), range.first);
    for (; run != text_runs.end() && *run < range.end; ++run) text += run_text(*run);
    return text;
}

std::size_t TextBuffer::memory_bytes() const {
    return bytes.capacity() + run_ends.capacity() * sizeof(std::uint32_t) +
           text_runs.capacity() * sizeof(std::uint32_t) + ranges.capacity() * sizeof(Range);
}

}  // namespace velkaron
