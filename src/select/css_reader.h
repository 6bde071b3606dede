#pragma once

// Character-level reading of selector text: whitespace and comments, identifiers and strings
// with their escapes, and errors that name where the reader stands.

#include <cstddef>
#include <string>
#include <string_view>

namespace velkaron::select {

class CssReader {
public:
    explicit CssReader(std::string_view text) : text(text) {}

    bool at_end() const { return at >= text.size(); }
    // The byte `ahead` places on, or NUL past the end.
    char peek(std::size_t ahead = 0) const {
        return at + ahead < text.size() ? text[at + ahead] : '\0';
    }
    std::size_t position() const { return at; }
    // The whole character at the reader (all its UTF-8 bytes), for messages.
    std::string character() const;
    void advance(std::size_t count = 1) { at += count; }
    // Consumes `c` when it comes next.
    bool accept(char c);

    // Skips whitespace and comments; true when any whitespace was skipped.
    bool skip_whitespace();
    bool starts_identifier() const;
    bool starts_number() const { return peek() >= '0' && peek() <= '9'; }
    // An identifier with its escapes resolved; call when starts_identifier().
    std::string identifier();
    // A quoted string with its escapes resolved; call at the opening quote.
    std::string quoted();
    // A run of decimal digits, saturated at a billion.
    long long digits();

    // Throws SelectorError naming the problem and the position (in characters).
    [[noreturn]] void fail(const std::string& problem) const { fail_at(at, problem); }
    [[noreturn]] void fail_at(std::size_t byte_offset, const std::string& problem) const;

private:
    bool starts_escape(std::size_t offset) const;
    bool is_name_start(std::size_t offset) const;
    // Appends the code point of the escape at the reader and moves past it.
    void escape(std::string& out);
    // Appends the whole UTF-8 sequence at the reader and moves past it.
    void copy_code_point(std::string& out);

    std::string_view text;
    std::size_t at = 0;
};

// ASCII lower case; other bytes unchanged.
std::string ascii_lowered(std::string_view text);

}  // namespace velkaron::select
