#pragma once

#include <string>
#include <string_view>

namespace velkaron::url {

// The sets of bytes that are written as %XX in each part of a URL. Every set holds the C0
// controls and every byte above 0x7E, so UTF-8 text is encoded byte by byte.
enum class EncodeSet { c0_control, fragment, query, special_query, path, userinfo };

bool in_encode_set(unsigned char byte, EncodeSet set);
// Appends `byte` to `out`, as %XX (upper-case hex) when it is in `set`.
void append_encoded(unsigned char byte, EncodeSet set, std::string& out);
void append_encoded(std::string_view text, EncodeSet set, std::string& out);
// %XX sequences turned back into bytes; a `%` not followed by two hex digits stays as it is.
std::string percent_decode(std::string_view text);

}  // namespace velkaron::url
