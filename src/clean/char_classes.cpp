#include "clean/char_classes.h"

#include <algorithm>
#include <iterator>

namespace velkaron::clean {

namespace {

struct Range {
    char32_t low, high;
};

constexpr Range punctuation_ranges[] = {
#include "clean/char_classes_table.inc"
};

constexpr char32_t malformed = 0xFFFFFFFF;

// The code point starting at `at` and its length in bytes.
std::pair<char32_t, std::size_t> decode(std::string_view text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {malformed, 1};
    char32_t code = lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return {malformed, 1};
        code = (code << 6) | (next & 0x3F);
    }
    return {code, length};
}

// Where the last code point starts.
std::size_t last_start(std::string_view text) {
    std::size_t at = text.size() - 1;
    for (int i = 0; i < 3 && at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; ++i) --at;
    return at;
}

bool is_space(char32_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool is_punctuation(char32_t c) {
    if (c < 0x80) {
        return c > ' ' && c != 0x7F && !(c >= '0' && c <= '9') && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    }
    const Range* end = std::end(punctuation_ranges);
    const Range* found = std::upper_bound(std::begin(punctuation_ranges), end, c,
                                          [](char32_t code, const Range& r) { return code < r.low; });
    return found != std::begin(punctuation_ranges) && c <= std::prev(found)->high;
}

CharClass class_of(char32_t c) {
    if (c == malformed) return CharClass::other;
    if (is_space(c)) return CharClass::space;
    return is_punctuation(c) ? CharClass::punctuation : CharClass::other;
}

}  // namespace

CharClass first_class(std::string_view text) {
    return text.empty() ? CharClass::space : class_of(decode(text, 0).first);
}

CharClass last_class(std::string_view text) {
    if (text.empty()) return CharClass::space;
    const std::size_t at = last_start(text);
    const auto [code, length] = decode(text, at);
    return at + length == text.size() ? class_of(code) : CharClass::other;
}

std::size_t leading_space(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto [code, length] = decode(text, at);
        if (!is_space(code)) break;
        at += length;
    }
    return at;
}

std::size_t trailing_space(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t at = last_start(text.substr(0, end));
        const auto [code, length] = decode(text, at);
        if (at + length != end || !is_space(code)) break;
        end = at;
    }
    return text.size() - end;
}

}  // namespace velkaron::clean
