#include "document/input_repair.h"

#include <cstring>

namespace velkaron {

namespace {

constexpr unsigned long long wrapping_value = 1ULL << 31;

int digit_value(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the digit run at `i` and whether its value reaches 2^31.
std::size_t scan_digits(std::string_view text, std::size_t i, bool hex, bool& overflows) {
    unsigned long long value = 0;
    std::size_t n = 0;
    overflows = false;
    for (int d; i + n < text.size() && (d = digit_value(text[i + n], hex)) >= 0; ++n) {
        if (!overflows) {
            value = value * (hex ? 16 : 10) + static_cast<unsigned>(d);
            overflows = value >= wrapping_value;
        }
    }
    return n;
}

// Replaces the digit run with the first value past Unicode's range, zero-padded to its length
// (an overflowing run is always at least that long).
void write_out_of_range(std::string& text, std::size_t at, std::size_t length, bool hex) {
    const char* value = hex ? "110000" : "1114112";
    const std::size_t value_length = std::strlen(value);
    text.replace(at, length, std::string(length - value_length, '0') + value);
}

}  // namespace

std::unique_ptr<std::string> without_overflowing_references(std::string_view html) {
    std::unique_ptr<std::string> rewritten;
    for (std::size_t i = html.find("&#"); i != std::string_view::npos; i = html.find("&#", i + 2)) {
        std::size_t digits_at = i + 2;
        const bool hex = digits_at < html.size() && (html[digits_at] == 'x' || html[digits_at] == 'X');
        if (hex) ++digits_at;
        bool overflows = false;
        const std::size_t length = scan_digits(html, digits_at, hex, overflows);
        if (!overflows) continue;
        if (!rewritten) rewritten = std::make_unique<std::string>(html);
        write_out_of_range(*rewritten, digits_at, length, hex);
    }
    return rewritten;
}

}  // namespace velkaron
