#pragma once

#include <string_view>

namespace velkaron {

// True when `bytes` is well-formed UTF-8: no overlong forms, surrogates or values past
// U+10FFFF. Runs of ASCII are checked eight bytes at a time.
bool is_valid_utf8(std::string_view bytes);

}  // namespace velkaron
