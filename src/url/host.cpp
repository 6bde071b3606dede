#include "url/host.h"

#include <array>
#include <cstdint>
#include <vector>

#include "url/percent_encode.h"

namespace velkaron::url {

namespace {

constexpr std::uint64_t beyond_ipv4 = std::uint64_t{1} << 33;

bool is_forbidden_host_byte(unsigned char c) {
    switch (c) {
        case 0x00: case '\t': case '\n': case '\r': case ' ': case '#': case '/': case ':':
        case '<': case '>': case '?': case '@': case '[': case '\\': case ']': case '^': case '|':
            return true;
        default:
            return false;
    }
}

bool is_forbidden_domain_byte(unsigned char c) {
    return is_forbidden_host_byte(c) || c < 0x20 || c == '%' || c == 0x7F;
}

int digit_value(char c, int radix) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < radix ? value : -1;
}

std::vector<std::string_view> split_on_dots(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos; dot = text.find('.', start)) {
        parts.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// One part of an IPv4 address: decimal, 0x-hex or 0-octal. Values past 2^32 saturate, which
// is enough to reject them.
std::optional<std::uint64_t> ipv4_number(std::string_view part) {
    if (part.empty()) return std::nullopt;
    int radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        part.remove_prefix(2);
        radix = 16;
    } else if (part.size() >= 2 && part[0] == '0') {
        part.remove_prefix(1);
        radix = 8;
    }
    std::uint64_t value = 0;
    for (char c : part) {
        const int digit = digit_value(c, radix);
        if (digit < 0) return std::nullopt;
        value = value >= beyond_ipv4 ? beyond_ipv4 : value * radix + digit;
    }
    return value;
}

bool ends_in_a_number(std::string_view domain) {
    std::vector<std::string_view> parts = split_on_dots(domain);
    if (parts.back().empty()) {
        if (parts.size() == 1) return false;
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) return true;
    return ipv4_number(last).has_value();
}

std::optional<std::string> parse_ipv4(std::string_view domain) {
    std::vector<std::string_view> parts = split_on_dots(domain);
    if (parts.back().empty() && parts.size() > 1) parts.pop_back();
    if (parts.size() > 4) return std::nullopt;
    std::vector<std::uint64_t> numbers;
    for (std::string_view part : parts) {
        const std::optional<std::uint64_t> number = ipv4_number(part);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
        if (numbers[i] > 255) return std::nullopt;
    }
    // The last number fills every byte the earlier ones left.
    const std::size_t free_bytes = 5 - numbers.size();
    if (numbers.back() >= (std::uint64_t{1} << (8 * free_bytes))) return std::nullopt;
    std::uint64_t address = numbers.back();
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) address += numbers[i] << (8 * (3 - i));
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += std::to_string((address >> shift) & 0xFF);
        if (shift > 0) out.push_back('.');
    }
    return out;
}

using Ipv6Address = std::array<std::uint16_t, 8>;

// The dotted IPv4 tail of an IPv6 address, written into two pieces from `piece`.
bool read_ipv4_tail(std::string_view text, std::size_t& at, Ipv6Address& address, std::size_t& piece) {
    if (piece > 6) return false;
    int numbers_seen = 0;
    while (at < text.size()) {
        if (numbers_seen > 0) {
            if (text[at] != '.' || numbers_seen >= 4) return false;
            ++at;
        }
        if (at >= text.size() || digit_value(text[at], 10) < 0) return false;
        int value = -1;
        while (at < text.size() && digit_value(text[at], 10) >= 0) {
            const int digit = digit_value(text[at], 10);
            if (value == 0) return false;
            value = value < 0 ? digit : value * 10 + digit;
            if (value > 255) return false;
            ++at;
        }
        address[piece] = static_cast<std::uint16_t>(address[piece] * 0x100 + value);
        ++numbers_seen;
        if (numbers_seen == 2 || numbers_seen == 4) ++piece;
    }
    return numbers_seen == 4;
}

std::optional<Ipv6Address> read_ipv6(std::string_view text) {
    Ipv6Address address{};
    std::size_t piece = 0;
    int compress = -1;
    std::size_t at = 0;
    auto here = [&]() { return at < text.size() ? text[at] : '\0'; };
    if (here() == ':') {
        if (text.substr(0, 2) != "::") return std::nullopt;
        at = 2;
        compress = static_cast<int>(++piece);
    }
    while (at < text.size()) {
        if (piece == 8) return std::nullopt;
        if (here() == ':') {
            if (compress >= 0) return std::nullopt;
            ++at;
            compress = static_cast<int>(++piece);
            continue;
        }
        unsigned value = 0;
        std::size_t length = 0;
        while (length < 4 && at < text.size() && digit_value(text[at], 16) >= 0) {
            value = value * 16 + digit_value(text[at], 16);
            ++at;
            ++length;
        }
        if (here() == '.') {
            if (length == 0) return std::nullopt;
            at -= length;
            if (!read_ipv4_tail(text, at, address, piece)) return std::nullopt;
            break;
        }
        if (here() == ':') {
            ++at;
            if (at == text.size()) return std::nullopt;
        } else if (at < text.size()) {
            return std::nullopt;
        }
        address[piece++] = static_cast<std::uint16_t>(value);
    }
    if (compress >= 0) {
        std::size_t swaps = piece - compress;
        for (std::size_t last = 7; last != 0 && swaps > 0; --last, --swaps) {
            std::swap(address[last], address[compress + swaps - 1]);
        }
    } else if (piece != 8) {
        return std::nullopt;
    }
    return address;
}

std::string write_ipv6(const Ipv6Address& address) {
    // The first longest run of two or more zero pieces is written as "::".
    int best_start = -1, best_length = 1;
    for (int i = 0; i < 8;) {
        int end = i;
        while (end < 8 && address[end] == 0) ++end;
        if (end - i > best_length) {
            best_start = i;
            best_length = end - i;
        }
        i = end > i ? end : i + 1;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "[";
    for (int i = 0; i < 8; ++i) {
        if (i == best_start) {
            out += i == 0 ? "::" : ":";
            i += best_length - 1;
            continue;
        }
        bool leading = true;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int digit = (address[i] >> shift) & 0xF;
            if (leading && digit == 0 && shift > 0) continue;
            leading = false;
            out.push_back(digits[digit]);
        }
        if (i < 7) out.push_back(':');
    }
    out.push_back(']');
    return out;
}

std::optional<std::string> parse_opaque_host(std::string_view input) {
    for (char c : input) {
        if (is_forbidden_host_byte(static_cast<unsigned char>(c))) return std::nullopt;
    }
    std::string out;
    append_encoded(input, EncodeSet::c0_control, out);
    return out;
}

bool has_punycode_label(std::string_view domain) {
    for (std::string_view label : split_on_dots(domain)) {
        if (label.size() >= 4 && label.substr(0, 4) == "xn--") return true;
    }
    return false;
}

std::optional<std::string> parse_domain(std::string_view input) {
    std::string domain = percent_decode(input);
    for (char& c : domain) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) return std::nullopt;
        if (is_forbidden_domain_byte(byte)) return std::nullopt;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (domain.empty() || has_punycode_label(domain)) return std::nullopt;
    if (ends_in_a_number(domain)) return parse_ipv4(domain);
    return domain;
}

}  // namespace

std::optional<std::string> parse_host(std::string_view input, bool special) {
    if (!input.empty() && input.front() == '[') {
        if (input.size() < 2 || input.back() != ']') return std::nullopt;
        const std::optional<Ipv6Address> address = read_ipv6(input.substr(1, input.size() - 2));
        if (!address) return std::nullopt;
        return write_ipv6(*address);
    }
    if (!special) return parse_opaque_host(input);
    return parse_domain(input);
}

}  // namespace velkaron::url
