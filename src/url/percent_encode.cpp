#include "url/percent_encode.h"

namespace velkaron::url {

namespace {

bool in_any_set(unsigned char byte) { return byte < 0x20 || byte > 0x7E; }

bool in_query_set(unsigned char byte) {
    return in_any_set(byte) || byte == ' ' || byte == '"' || byte == '#' || byte == '<' || byte == '>';
}

bool in_path_set(unsigned char byte) {
    return in_query_set(byte) || byte == '?' || byte == '^' || byte == '`' || byte == '{' ||
           byte == '}';
}

bool in_userinfo_set(unsigned char byte) {
    switch (byte) {
        case '/': case ':': case ';': case '=': case '@': case '[': case '\\': case ']': case '|':
            return true;
        default:
            return in_path_set(byte);
    }
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool in_encode_set(unsigned char byte, EncodeSet set) {
    switch (set) {
        case EncodeSet::c0_control:
            return in_any_set(byte);
        case EncodeSet::fragment:
            return in_any_set(byte) || byte == ' ' || byte == '"' || byte == '<' || byte == '>' ||
                   byte == '`';
        case EncodeSet::query:
            return in_query_set(byte);
        case EncodeSet::special_query:
            return in_query_set(byte) || byte == '\'';
        case EncodeSet::path:
            return in_path_set(byte);
        case EncodeSet::userinfo:
            return in_userinfo_set(byte);
    }
    return true;
}

void append_encoded(unsigned char byte, EncodeSet set, std::string& out) {
    static constexpr char digits[] = "0123456789ABCDEF";
    if (!in_encode_set(byte, set)) {
        out.push_back(static_cast<char>(byte));
        return;
    }
    out.push_back('%');
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0xF]);
}

void append_encoded(std::string_view text, EncodeSet set, std::string& out) {
    for (char c : text) append_encoded(static_cast<unsigned char>(c), set, out);
}

std::string percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace velkaron::url
