#pragma once

#include <gumbo.h>

#include <string_view>

namespace velkaron {

// The tag the parser makes of a name as written, ASCII letters in any case; the same answer as
// gumbo_tagn_enum, from a table built once, without the parser's per-character locale calls.
// The markup scan looks up every tag of a page before the parser sees it.
GumboTag tag_of_name(std::string_view name);

}  // namespace velkaron
