#include "select/css_reader.h"

#include <algorithm>

#include "select/selector.h"

namespace velkaron::select {

namespace {

constexpr long long digits_ceiling = 1000000000;
// Longest piece of selector text quoted back in an error message.
constexpr std::size_t quoted_text_limit = 80;

bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool is_newline(char c) { return c == '\n' || c == '\r' || c == '\f'; }
bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hex_value(char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_non_ascii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

void append_utf8(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string ascii_lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return lowered;
}

bool CssReader::accept(char c) {
    if (at_end() || text[at] != c) return false;
    ++at;
    return true;
}

bool CssReader::skip_whitespace() {
    bool skipped = false;
    for (;;) {
        if (is_whitespace(peek())) {
            skipped = true;
            ++at;
        } else if (peek() == '/' && peek(1) == '*') {
            const std::size_t close = text.find("*/", at + 2);
            if (close == std::string_view::npos) fail("expected '*/' to close the comment");
            at = close + 2;
        } else {
            return skipped;
        }
    }
}

bool CssReader::starts_escape(std::size_t offset) const {
    return peek(offset) == '\\' && !is_newline(peek(offset + 1));
}

bool CssReader::is_name_start(std::size_t offset) const {
    const char c = peek(offset);
    return is_letter(c) || c == '_' || is_non_ascii(c) || starts_escape(offset);
}

bool CssReader::starts_identifier() const {
    if (peek() == '-') return peek(1) == '-' || is_name_start(1);
    return is_name_start(0);
}

std::string CssReader::identifier() {
    std::string out;
    for (;;) {
        const char c = peek();
        if (is_letter(c) || c == '_' || c == '-' || (c >= '0' && c <= '9')) {
            out += c;
            ++at;
        } else if (is_non_ascii(c)) {
            copy_code_point(out);
        } else if (starts_escape(0)) {
            escape(out);
        } else if (c == '\0' && !at_end()) {
            append_utf8(out, 0xFFFD);
            ++at;
        } else {
            return out;
        }
    }
}

std::string CssReader::quoted() {
    const std::size_t start = at;
    const char quote = peek();
    ++at;
    std::string out;
    for (;;) {
        if (at_end()) fail_at(start, std::string("expected a closing ") + quote + " for the string");
        const char c = peek();
        if (c == quote) {
            ++at;
            return out;
        }
        if (is_newline(c)) fail("expected the string to close before the line break");
        if (c == '\\') {
            if (is_newline(peek(1))) {
                at += (peek(1) == '\r' && peek(2) == '\n') ? 3 : 2;  // an escaped line break
            } else if (at + 1 >= text.size()) {
                ++at;
            } else {
                escape(out);
            }
        } else if (c == '\0') {
            append_utf8(out, 0xFFFD);
            ++at;
        } else {
            copy_code_point(out);
        }
    }
}

std::string CssReader::character() const {
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    return std::string(text.substr(at, end - at));
}

long long CssReader::digits() {
    long long value = 0;
    while (starts_number()) {
        value = value * 10 + (peek() - '0');
        if (value > digits_ceiling) value = digits_ceiling;
        ++at;
    }
    return value;
}

void CssReader::escape(std::string& out) {
    ++at;  // the backslash
    if (at_end()) {
        append_utf8(out, 0xFFFD);
        return;
    }
    if (!is_hex(peek())) {
        copy_code_point(out);
        return;
    }
    unsigned long code = 0;
    for (int i = 0; i < 6 && is_hex(peek()); ++i) {
        code = code * 16 + static_cast<unsigned long>(hex_value(peek()));
        ++at;
    }
    append_utf8(out, code);
    if (peek() == '\r' && peek(1) == '\n') {
        at += 2;
    } else if (is_whitespace(peek())) {
        ++at;
    }
}

void CssReader::copy_code_point(std::string& out) {
    out += text[at++];
    while (!at_end() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) out += text[at++];
}

void CssReader::fail_at(std::size_t byte_offset, const std::string& problem) const {
    // Positions count characters, as the caller's string does, not UTF-8 bytes.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < byte_offset && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
    }
    std::size_t shown_length = std::min(text.size(), quoted_text_limit);
    while (shown_length < text.size() &&
           (static_cast<unsigned char>(text[shown_length]) & 0xC0) == 0x80) {
        --shown_length;  // never cut a character in two
    }
    std::string shown(text.substr(0, shown_length));
    if (shown_length < text.size()) shown += "...";
    throw SelectorError(problem + " at position " + std::to_string(characters) + " in '" +
                        shown + "'");
}

}  // namespace velkaron::select
