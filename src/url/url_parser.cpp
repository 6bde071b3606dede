// The URL parser: a state machine over the input's bytes, one method per state. Bytes above
// 0x7F only ever land in components that percent-encode them, so UTF-8 needs no decoding,
// except in hosts (see host.h).

#include <string>

#include "url/host.h"
#include "url/percent_encode.h"
#include "url/parser_machine.h"
#include "url/url_record.h"

namespace velkaron::url::machine {

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

void Parser::follow_base_path(bool drive_letter_restarts) {
    url.path = base->path;
    url.query = base->query;
    if (c() == '?') {
        start_query();
    } else if (c() == '#') {
        start_fragment();
    } else if (c() != end_of_input) {
        url.query.reset();
        if (drive_letter_restarts && starts_with_drive_letter(from_here())) url.path.clear();
        else shorten_path();
        reread(State::path);
    }
}

bool Parser::step() {
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

bool Parser::scheme_start() {
    if (is_alpha(c())) {
        buffer.push_back(lower(static_cast<char>(c())));
        state = State::scheme;
    } else {
        reread(State::no_scheme);
    }
    return true;
}

bool Parser::scheme() {
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

bool Parser::no_scheme() {
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
bool Parser::double_slash_or(State otherwise) {
    if (c() == '/' && remaining().substr(0, 1) == "/") {
        state = State::special_authority_ignore_slashes;
        ++at;
    } else {
        reread(otherwise);
    }
    return true;
}

bool Parser::special_relative_or_authority() { return double_slash_or(State::relative); }

bool Parser::path_or_authority() {
    if (c() == '/') state = State::authority;
    else reread(State::path);
    return true;
}

bool Parser::relative() {
    url.scheme = base->scheme;
    if (is_slash(c())) {
        state = State::relative_slash;
        return true;
    }
    copy_base_authority();
    follow_base_path(false);
    return true;
}

bool Parser::relative_slash() {
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

bool Parser::special_authority_slashes() {
    return double_slash_or(State::special_authority_ignore_slashes);
}

bool Parser::special_authority_ignore_slashes() {
    if (c() != '/' && c() != '\\') reread(State::authority);
    return true;
}

bool Parser::authority() {
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

bool Parser::take_host() {
    std::optional<std::string> parsed = parse_host(buffer, special());
    if (!parsed) return false;
    url.host = std::move(*parsed);
    buffer.clear();
    return true;
}

bool Parser::host() {
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

bool Parser::port() {
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

}  // namespace velkaron::url::machine

namespace velkaron::url {

std::optional<UrlRecord> parse_url(std::string_view input, const UrlRecord* base) {
    return machine::Parser(input, base).run();
}

}  // namespace velkaron::url
