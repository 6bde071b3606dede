#include "document/meta_prescan.h"

#include <algorithm>
#include <optional>

namespace velkaron {

namespace {

constexpr std::size_t prescan_bytes = 1024;
constexpr auto npos = std::string_view::npos;

bool is_space(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

struct Attribute {
    std::string name;
    std::string value;
};

class Scanner {
public:
    explicit Scanner(std::string_view text) : s(text) {}

    // Reads the attribute at the position; false at the tag's end or when the attribute runs
    // past the bytes scanned.
    bool next_attribute(Attribute& out) {
        out.name.clear();
        out.value.clear();
        skip([](char c) { return is_space(c) || c == '/'; });
        if (at_end() || s[i] == '>') return false;
        for (;; ++i) {
            if (at_end()) return false;
            const char c = s[i];
            if (c == '=' && !out.name.empty()) return ++i, read_value(out);
            if (c == '/' || c == '>') return true;
            if (is_space(c)) break;
            out.name += lower(c);
        }
        skip(is_space);
        if (at_end()) return false;
        if (s[i] != '=') return true;
        ++i;
        return read_value(out);
    }

    std::string_view s;
    std::size_t i = 0;

private:
    bool at_end() const { return i >= s.size(); }

    template <typename Test>
    void skip(Test test) {
        while (!at_end() && test(s[i])) ++i;
    }

    bool read_value(Attribute& out) {
        skip(is_space);
        if (at_end()) return false;
        if (s[i] == '"' || s[i] == '\'') {
            const char quote = s[i++];
            for (; !at_end(); ++i) {
                if (s[i] == quote) return ++i, true;
                out.value += s[i];
            }
            return false;
        }
        for (; !at_end(); ++i) {
            if (is_space(s[i]) || s[i] == '>') return true;
            out.value += s[i];
        }
        return false;
    }
};

// The label after "charset=" in a content value such as "text/html; charset=utf-8".
std::optional<std::string> charset_in_content(const std::string& value) {
    std::size_t i = 0;
    const std::size_t n = value.size();
    for (;;) {
        const std::size_t at = value.find("charset", i);
        if (at == std::string::npos) return std::nullopt;
        i = at + 7;
        while (i < n && is_space(value[i])) ++i;
        if (i < n && value[i] == '=') break;
    }
    ++i;
    while (i < n && is_space(value[i])) ++i;
    if (i >= n) return std::nullopt;
    if (value[i] == '"' || value[i] == '\'') {
        const std::size_t end = value.find(value[i], i + 1);
        if (end == std::string::npos) return std::nullopt;
        return value.substr(i + 1, end - i - 1);
    }
    std::size_t end = i;
    while (end < n && !is_space(value[end]) && value[end] != ';') ++end;
    return value.substr(i, end - i);
}

// The label one <meta> declares, with the position just past its attributes.
std::optional<std::string> meta_label(Scanner& scanner) {
    MetaDeclaration declaration;
    Attribute attribute;
    while (scanner.next_attribute(attribute)) declaration.add(attribute.name, attribute.value);
    return declaration.label();
}

bool starts_meta(std::string_view rest) {
    if (rest.size() < 6 || (!is_space(rest[5]) && rest[5] != '/')) return false;
    for (std::size_t k = 0; k < 4; ++k) {
        if (lower(rest[k + 1]) != "meta"[k]) return false;
    }
    return true;
}

}  // namespace

void MetaDeclaration::add(std::string_view name, std::string_view value) {
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) return;
    seen.emplace_back(name);
    std::string lowered(value);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower);
    if (name == "http-equiv") {
        got_pragma = got_pragma || lowered == "content-type";
    } else if (name == "content" && !charset) {
        if ((charset = charset_in_content(lowered))) need_pragma = 1;
    } else if (name == "charset") {
        charset = std::move(lowered);
        need_pragma = 0;
    }
}

std::optional<std::string> MetaDeclaration::label() const {
    if (need_pragma == -1 || (need_pragma == 1 && !got_pragma)) return std::nullopt;
    return charset;
}

std::vector<std::string> meta_charset_labels(std::string_view bytes) {
    Scanner scanner(bytes.substr(0, prescan_bytes));
    const std::string_view s = scanner.s;
    std::size_t& i = scanner.i;
    std::vector<std::string> labels;
    Attribute ignored;
    while ((i = s.find('<', i)) != npos) {
        const std::string_view rest = s.substr(i);
        if (rest.substr(0, 4) == "<!--") {
            const std::size_t end = s.find("-->", i + 2);
            if (end == npos) break;
            i = end + 2;
        } else if (starts_meta(rest)) {
            i += 6;
            if (std::optional<std::string> label = meta_label(scanner)) labels.push_back(*label);
        } else if (rest.size() > 1 && (is_alpha(rest[1]) ||
                                       (rest[1] == '/' && rest.size() > 2 && is_alpha(rest[2])))) {
            while (i < s.size() && !is_space(s[i]) && s[i] != '>') ++i;
            while (scanner.next_attribute(ignored)) {
            }
        } else if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '/' || rest[1] == '?')) {
            const std::size_t end = s.find('>', i);
            if (end == npos) break;
            i = end;
        }
        ++i;
    }
    return labels;
}

}  // namespace velkaron
