#pragma once

#include <gumbo.h>

#include <string>
#include <vector>

namespace velkaron {

// Removes leading and trailing space, tab, line feed, carriage return, form feed and
// vertical tab (bytes only: no other character is trimmed).
std::string trim_whitespace(const std::string& s);

}  // namespace velkaron
