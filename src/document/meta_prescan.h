#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkaron {

// The charset labels that <meta> elements in the first 1024 bytes declare (a charset
// attribute, or an http-equiv="content-type" content), in document order and lower case, read
// the way browsers prescan a page: comments and other tags' attribute values are skipped.
// The caller resolves them; the first label that names an encoding wins.
std::vector<std::string> meta_charset_labels(std::string_view bytes);

}  // namespace velkaron
