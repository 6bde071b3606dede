#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron::url {

// A URL taken apart. Every component is kept as it serialises: percent-encoded, the host in
// its canonical form.
struct UrlRecord {
    std::string scheme;
    std::string username;
    std::string password;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    // An opaque path (`mailto:x`, `data:...`) is one string, kept in path[0].
    std::vector<std::string> path;
    bool opaque_path = false;
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    bool is_special() const;
    std::string serialize() const;
};

bool is_special_scheme(std::string_view scheme);
// The scheme's default port, or -1 when it has none.
int default_port(std::string_view scheme);

// `input` parsed as a URL, relative to `base` when it is given. nullopt when it does not parse,
// and also when it names a host that needs Unicode mapping (a non-ASCII or `xn--` label):
// that mapping is left out, and a caller that gets nullopt keeps the reference as written
// rather than a wrong answer.
std::optional<UrlRecord> parse_url(std::string_view input, const UrlRecord* base);

}  // namespace velkaron::url
