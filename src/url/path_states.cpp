// The URL parser's file, path, query and fragment states (see parser_machine.h).

#include <string>

#include "url/parser_machine.h"
#include "url/percent_encode.h"

namespace velkaron::url::machine {

bool Parser::file() {
    url.scheme = "file";
    url.host = std::string();
    if (c() == '/' || c() == '\\') {
        state = State::file_slash;
    } else if (base != nullptr && base->scheme == "file") {
        url.host = base->host;
        follow_base_path(true);
    } else {
        reread(State::path);
    }
    return true;
}

bool Parser::file_slash() {
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

bool Parser::file_host() {
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

bool Parser::path_start() {
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

bool Parser::path() {
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

bool Parser::opaque_path() {
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

bool Parser::query() {
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

bool Parser::fragment() {
    if (c() != end_of_input) append_encoded(static_cast<unsigned char>(c()), EncodeSet::fragment, *url.fragment);
    return true;
}

}  // namespace velkaron::url::machine
