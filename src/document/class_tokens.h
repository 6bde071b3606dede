#pragma once

#include <string_view>

namespace velkaron {

// Class names are separated by space, tab, line feed and carriage return; form feed and
// vertical tab belong to the names.
inline bool is_class_separator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Calls `emit` with each class token of `value`, in order, repetitions included. `emit`
// returns true to stop early.
template <typename Emit>
void for_each_class_token(std::string_view value, Emit&& emit) {
    std::size_t i = 0;
    const std::size_t n = value.size();
    while (i < n) {
        while (i < n && is_class_separator(value[i])) ++i;
        const std::size_t begin = i;
        while (i < n && !is_class_separator(value[i])) ++i;
        if (i > begin && emit(value.substr(begin, i - begin))) return;
    }
}

// Leading and trailing space, tab, line feed and carriage return removed.
inline std::string_view trim_index_whitespace(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_class_separator(text[begin])) ++begin;
    while (end > begin && is_class_separator(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace velkaron
