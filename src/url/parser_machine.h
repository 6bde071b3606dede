// The URL parser's state machine, one method per state: the scheme and authority states in
// url_parser.cpp, the file, path, query and fragment states in path_states.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "url/url_record.h"

namespace velkaron::url::machine {

inline constexpr int end_of_input = -1;

inline bool is_c0_or_space(char c) { return static_cast<unsigned char>(c) <= 0x20; }
inline bool is_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool is_windows_drive_letter(std::string_view text) {
    return text.size() == 2 && is_alpha(text[0]) && (text[1] == ':' || text[1] == '|');
}

inline bool is_normalized_drive_letter(std::string_view text) {
    return is_windows_drive_letter(text) && text[1] == ':';
}

inline bool starts_with_drive_letter(std::string_view text) {
    if (text.size() < 2 || !is_windows_drive_letter(text.substr(0, 2))) return false;
    if (text.size() == 2) return true;
    const char third = text[2];
    return third == '/' || third == '\\' || third == '?' || third == '#';
}

inline bool equals_lowered(std::string_view text, std::string_view lowered) {
    if (text.size() != lowered.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != lowered[i]) return false;
    }
    return true;
}

inline bool is_single_dot(std::string_view segment) { return segment == "." || equals_lowered(segment, "%2e"); }

inline bool is_double_dot(std::string_view segment) {
    return segment == ".." || equals_lowered(segment, ".%2e") || equals_lowered(segment, "%2e.") ||
           equals_lowered(segment, "%2e%2e");
}

// Leading and trailing C0 controls and spaces go, and every tab and newline inside.
std::string cleaned_input(std::string_view input);

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
    // After the base's path and query are taken: a query or fragment starts here, or the rest
    // is a path relative to the base's (its last segment dropped; in file URLs, all of it
    // before a drive letter).
    void follow_base_path(bool drive_letter_restarts);
    void start_fragment() {
        url.fragment = std::string();
        state = State::fragment;
    }

    bool step();
    bool scheme_start();
    bool scheme();
    bool no_scheme();
    // "//" goes on to the authority; anything else is read again in `otherwise`.
    bool double_slash_or(State otherwise);
    bool special_relative_or_authority();
    bool path_or_authority();
    bool relative();
    bool relative_slash();
    bool special_authority_slashes();
    bool special_authority_ignore_slashes();
    bool authority();
    bool take_host();
    bool host();
    bool port();
    bool file();
    bool file_slash();
    bool file_host();
    bool path_start();
    bool path();
    bool opaque_path();
    bool query();
    bool fragment();

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

}  // namespace velkaron::url::machine
