// The URL parser: a state machine over the input's bytes, one method per state. Bytes above
// 0x7F only ever land in components that percent-encode them, so UTF-8 needs no decoding,
// except in hosts (see host.h).

#include <string>

#include "url/host.h"
#include "url/percent_encode.h"
#include "url/url_record.h"

namespace velkaron::url {

namespace {

constexpr int end_of_input = -1;

bool is_c0_or_space(char c) { return static_cast<unsigned char>(c) <= 0x20; }
bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_windows_drive_letter(std::string_view text) {
    return text.size() == 2 && is_alpha(text[0]) && (text[1] == ':' || text[1] == '|');
}

bool is_normalized_drive_letter(std::string_view text) {
    return is_windows_drive_letter(text) && text[1] == ':';
}

bool starts_with_drive_letter(std::string_view text) {
    if (text.size() < 2 || !is_windows_drive_letter(text.substr(0, 2))) return false;
    if (text.size() == 2) return true;
    const char third = text[2];
    return third == '/' || third == '\\' || third == '?' || third == '#';
}

bool equals_lowered(std::string_view text, std::string_view lowered) {
    if (text.size() != lowered.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != lowered[i]) return false;
    }
    return true;
}

bool is_single_dot(std::string_view segment) { return segment == "." || equals_lowered(segment, "%2e"); }

bool is_double_dot(std::string_view segment) {
    return segment == ".." || equals_lowered(segment, ".%2e") || equals_lowered(segment, "%2e.") ||
           equals_lowered(segment, "%2e%2e");
}

// Leading and trailing C0 controls and spaces go, and every tab and newline inside.
std::string cleaned_input(std::string_view input) {
    while (!input.empty() && is_c0_or_space(input.front())) input.remove_prefix(1);
    while (!input.empty() && is_c0_or_space(input.back())) input.remove_suffix(1);
    std::string out;
    out.reserve(input.size());
    for (char c : input) {
        if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

enum class State {
    scheme_start, scheme, no_scheme, special_relative_or_authority, path_or_authority, relative,
    relative_slash, special_authority_slashes, special_authority_ignore_slashes, authority, host,
    port, file, file_slash, file_host, path_start, path, opaque_path, query, fragment
};

class Parser {
public:
    Parser(std::string_view input, const UrlRecord* base) : input(cleaned_input(input)), base(base) {}

    std::optional<UrlRecord> run() {
        // A state that reads the end of the input and does not step back is the last.
        for (at = 0;; ++at) {
            if (!step()) return std::nullopt;
            if (at >= static_cast<long>(input.size())) return url;
        }
    }

private:
    int c() const { return at < static_cast<long>(input.size()) ? static_cast<unsigned char>(input[at]) : end_of_input; }
    std::string_view remaining() const {
        return at + 1 < static_cast<long>(input.size()) ? std::string_view(input).substr(at + 1) : std::string_view();
    }
    std::string_view from_here() const {
        return at < static_cast<long>(input.size()) ? std::string_view(input).substr(at) : std::string_view();
    }
    bool special() const { return url.is_special(); }
    bool ends_component(int ch) const {
        return ch == end_of_input || ch == '/' || ch == '?' || ch == '#' || (special() && ch == '\\');
    }
    bool is_slash(int ch) const { return ch == '/' || (special() && ch == '\\'); }
    // Makes the next step read the current byte again, in the new state.
    void reread(State next) {
        state = next;
        --at;
    }

    void shorten_path() {
        if (url.scheme == "file" && url.path.size() == 1 && is_normalized_drive_letter(url.path[0])) return;
        if (!url.path.empty()) url.path.pop_back();
    }
    void copy_base_authority() {
        url.username = base->username;
        url.password = base->password;
        url.host = base->host;
        url.port = base->port;
    }
    void start_query() {
        url.query = std::string();
        state = State::query;
    }
    void start_fragment() {
        url.fragment = std::string();
        state = State::fragment;
    }

    bool step() {
        switch (state) {
            case State::scheme_start: return scheme_start();
            case State::scheme: return scheme();
            case State::no_scheme: return no_scheme();
            case State::special_relative_or_authority: return special_relative_or_authority();
            case State::path_or_authority: return path_or_authority();
            case State::relative: return relative();
            case State::relative_slash: return relative_slash();
            case State::special_authority_slashes: return special_authority_slashes();
            case State::special_authority_ignore_slashes: return special_authority_ignore_slashes();
            case State::authority: return authority();
            case State::host: return host();
            case State::port: return port();
            case State::file: return file();
            case State::file_slash: return file_slash();
            case State::file_host: return file_host();
            case State::path_start: return path_start();
            case State::path: return path();
            case State::opaque_path: return opaque_path();
            case State::query: return query();
            case State::fragment: return fragment();
        }
        return false;
    }

    bool scheme_start() {
        if (is_alpha(c())) {
            buffer.push_back(lower(static_cast<char>(c())));
            state = State::scheme;
        } else {
            reread(State::no_scheme);
        }
        return true;
    }

    bool scheme() {
        const int ch = c();
        if (is_alpha(ch) || is_digit(ch) || ch == '+' || ch == '-' || ch == '.') {
            buffer.push_back(lower(static_cast<char>(ch)));
            return true;
        }
        if (ch != ':') {
            // Not a scheme after all: read the whole input again as a relative reference.
            buffer.clear();
            state = State::no_scheme;
            at = -1;
            return true;
        }
        url.scheme = std::move(buffer);
        buffer.clear();
        if (url.scheme == "file") {
            state = State::file;
        } else if (special() && base != nullptr && base->scheme == url.scheme) {
            state = State::special_relative_or_authority;
        } else if (special()) {
            state = State::special_authority_slashes;
        } else if (!remaining().empty() && remaining().front() == '/') {
            state = State::path_or_authority;
            ++at;
        } else {
            url.path.assign(1, std::string());
            url.opaque_path = true;
            state = State::opaque_path;
        }
        return true;
    }

    bool no_scheme() {
        if (base == nullptr || (base->opaque_path && c() != '#')) return false;
        if (base->opaque_path) {
            url.scheme = base->scheme;
            url.path = base->path;
            url.opaque_path = true;
            url.query = base->query;
            start_fragment();
        } else {
            reread(base->scheme == "file" ? State::file : State::relative);
        }
        return true;
    }

    // "//" goes on to the authority; anything else is read again in `otherwise`.
    bool double_slash_or(State otherwise) {
        if (c() == '/' && remaining().substr(0, 1) == "/") {
            state = State::special_authority_ignore_slashes;
            ++at;
        } else {
            reread(otherwise);
        }
        return true;
    }

    bool special_relative_or_authority() { return double_slash_or(State::relative); }

    bool path_or_authority() {
        if (c() == '/') state = State::authority;
        else reread(State::path);
        return true;
    }

    bool relative() {
        url.scheme = base->scheme;
        if (is_slash(c())) {
            state = State::relative_slash;
            return true;
        }
        copy_base_authority();
        url.path = base->path;
        url.query = base->query;
        if (c() == '?') {
            start_query();
        } else if (c() == '#') {
            start_fragment();
        } else if (c() != end_of_input) {
            url.query.reset();
            shorten_path();
            reread(State::path);
        }
        return true;
    }

    bool relative_slash() {
        if (special() && (c() == '/' || c() == '\\')) {
            state = State::special_authority_ignore_slashes;
        } else if (c() == '/') {
            state = State::authority;
        } else {
            copy_base_authority();
            reread(State::path);
        }
        return true;
    }

    bool special_authority_slashes() {
        return double_slash_or(State::special_authority_ignore_slashes);
    }

    bool special_authority_ignore_slashes() {
        if (c() != '/' && c() != '\\') reread(State::authority);
        return true;
    }

    bool authority() {
        if (c() == '@') {
            if (at_sign_seen) buffer.insert(0, "%40");
            at_sign_seen = true;
            for (char byte : buffer) {
                if (byte == ':' && !password_token_seen) {
                    password_token_seen = true;
                    continue;
                }
                append_encoded(static_cast<unsigned char>(byte), EncodeSet::userinfo,
                               password_token_seen ? url.password : url.username);
            }
            buffer.clear();
        } else if (ends_component(c())) {
            if (at_sign_seen && buffer.empty()) return false;
            at -= static_cast<long>(buffer.size()) + 1;
            buffer.clear();
            state = State::host;
        } else {
            buffer.push_back(static_cast<char>(c()));
        }
        return true;
    }

    bool take_host() {
        std::optional<std::string> parsed = parse_host(buffer, special());
        if (!parsed) return false;
        url.host = std::move(*parsed);
        buffer.clear();
        return true;
    }

    bool host() {
        if (c() == ':' && !inside_brackets) {
            if (buffer.empty()) return false;
            state = State::port;
            return take_host();
        }
        if (ends_component(c())) {
            if (special() && buffer.empty()) return false;
            reread(State::path_start);
            return take_host();
        }
        if (c() == '[') inside_brackets = true;
        if (c() == ']') inside_brackets = false;
        buffer.push_back(static_cast<char>(c()));
        return true;
    }

    bool port() {
        if (is_digit(c())) {
            buffer.push_back(static_cast<char>(c()));
            return true;
        }
        if (!ends_component(c())) return false;
        if (!buffer.empty()) {
            long value = 0;
            for (char digit : buffer) {
                value = value * 10 + (digit - '0');
                if (value > 65535) return false;
            }
            if (value != default_port(url.scheme)) url.port = static_cast<std::uint16_t>(value);
            else url.port.reset();
            buffer.clear();
        }
        reread(State::path_start);
        return true;
    }

    bool file() {
        url.scheme = "file";
        url.host = std::string();
        if (c() == '/' || c() == '\\') {
            state = State::file_slash;
        } else if (base != nullptr && base->scheme == "file") {
            url.host = base->host;
            url.path = base->path;
            url.query = base->query;
            if (c() == '?') {
                start_query();
            } else if (c() == '#') {
                start_fragment();
            } else if (c() != end_of_input) {
                url.query.reset();
                if (!starts_with_drive_letter(from_here())) shorten_path();
                else url.path.clear();
                reread(State::path);
            }
        } else {
            reread(State::path);
        }
        return true;
    }

    bool file_slash() {
        if (c() == '/' || c() == '\\') {
            state = State::file_host;
            return true;
        }
        if (base != nullptr && base->scheme == "file") {
            url.host = base->host;
            if (!starts_with_drive_letter(from_here()) && !base->path.empty() &&
                is_normalized_drive_letter(base->path[0])) {
                url.path.push_back(base->path[0]);
            }
        }
        reread(State::path);
        return true;
    }

    bool file_host() {
        const int ch = c();
        if (!(ch == end_of_input || ch == '/' || ch == '\\' || ch == '?' || ch == '#')) {
            buffer.push_back(static_cast<char>(ch));
            return true;
        }
        // A drive letter stays in the buffer and becomes the path's first segment.
        if (is_windows_drive_letter(buffer)) {
            reread(State::path);
            return true;
        }
        reread(State::path_start);
        if (buffer.empty()) {
            url.host = std::string();
            return true;
        }
        if (!take_host()) return false;
        if (*url.host == "localhost") url.host = std::string();
        return true;
    }

    bool path_start() {
        if (special()) {
            state = State::path;
            if (c() != '/' && c() != '\\') --at;
        } else if (c() == '?') {
            start_query();
        } else if (c() == '#') {
            start_fragment();
        } else if (c() != end_of_input) {
            state = State::path;
            if (c() != '/') --at;
        }
        return true;
    }

    bool path() {
        const int ch = c();
        if (!ends_component(ch)) {
            append_encoded(static_cast<unsigned char>(ch), EncodeSet::path, buffer);
            return true;
        }
        const bool slash = is_slash(ch);
        if (is_double_dot(buffer)) {
            shorten_path();
            if (!slash) url.path.emplace_back();
        } else if (is_single_dot(buffer) && !slash) {
            url.path.emplace_back();
        } else if (!is_single_dot(buffer)) {
            if (url.scheme == "file" && url.path.empty() && is_windows_drive_letter(buffer)) buffer[1] = ':';
            url.path.push_back(buffer);
        }
        buffer.clear();
        if (ch == '?') start_query();
        if (ch == '#') start_fragment();
        return true;
    }

    bool opaque_path() {
        const int ch = c();
        if (ch == '?') {
            start_query();
        } else if (ch == '#') {
            start_fragment();
        } else if (ch == ' ' && (remaining().substr(0, 1) == "?" || remaining().substr(0, 1) == "#")) {
            // Kept as a space, it would be lost as trailing space once the query or fragment goes.
            url.path[0] += "%20";
        } else if (ch != end_of_input) {
            append_encoded(static_cast<unsigned char>(ch), EncodeSet::c0_control, url.path[0]);
        }
        return true;
    }

    bool query() {
        const int ch = c();
        if (ch != '#' && ch != end_of_input) {
            buffer.push_back(static_cast<char>(ch));
            return true;
        }
        append_encoded(buffer, special() ? EncodeSet::special_query : EncodeSet::query, *url.query);
        buffer.clear();
        if (ch == '#') start_fragment();
        return true;
    }

    bool fragment() {
        if (c() != end_of_input) append_encoded(static_cast<unsigned char>(c()), EncodeSet::fragment, *url.fragment);
        return true;
    }

    const std::string input;
    const UrlRecord* base;
    UrlRecord url;
    State state = State::scheme_start;
    long at = 0;
    std::string buffer;
    bool at_sign_seen = false;
    bool password_token_seen = false;
    bool inside_brackets = false;
};

}  // namespace

std::optional<UrlRecord> parse_url(std::string_view input, const UrlRecord* base) {
    return Parser(input, base).run();
}

}  // namespace velkaron::url
