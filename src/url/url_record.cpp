#include "url/url_record.h"

namespace velkaron::url {

bool is_special_scheme(std::string_view scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss" ||
           scheme == "ftp" || scheme == "file";
}

int default_port(std::string_view scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    if (scheme == "ftp") return 21;
    return -1;
}

bool UrlRecord::is_special() const { return is_special_scheme(scheme); }

std::string UrlRecord::serialize() const {
    std::string out = scheme;
    out.push_back(':');
    if (host) {
        out += "//";
        if (!username.empty() || !password.empty()) {
            out += username;
            if (!password.empty()) out += ":" + password;
            out.push_back('@');
        }
        out += *host;
        if (port) out += ":" + std::to_string(*port);
    }
    if (opaque_path) {
        out += path.empty() ? std::string() : path[0];
    } else {
        // Without a host, a path starting with an empty segment would read as "//host".
        if (!host && path.size() > 1 && path[0].empty()) out += "/.";
        for (const std::string& segment : path) out += "/" + segment;
    }
    if (query) out += "?" + *query;
    if (fragment) out += "#" + *fragment;
    return out;
}

}  // namespace velkaron::url
