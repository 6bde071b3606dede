#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkaron::url {

// A URL's host in canonical form: IPv6 in brackets, compressed; IPv4 as four decimal numbers
// (from any of the decimal, octal, hex and dotted-short forms); a special scheme's domain
// percent-decoded and lower-cased; a non-special scheme's host percent-encoded as it is.
// nullopt when the host is invalid, and when a domain needs Unicode mapping (non-ASCII, or a
// label written `xn--`), which this parser does not do.
std::optional<std::string> parse_host(std::string_view input, bool special);

}  // namespace velkaron::url
