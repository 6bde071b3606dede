#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace velkaron {

// gumbo 0.10 accumulates a numeric character reference in a 32-bit int: from 2^31 on the value
// wraps, and it writes a wrong character, a byte that is not UTF-8, a NUL that cuts the text
// short, or an end of input that drops the rest of the document. Every such reference is out
// of Unicode's range and stands for U+FFFD; this rewrites its digits, at the same length, to
// the smallest out-of-range value, which gumbo turns into U+FFFD. Returns null when the text
// holds no such reference (the usual case: no copy is made), else the rewritten text. The
// same characters inside script, style or comments are rewritten as well.
std::unique_ptr<std::string> without_overflowing_references(std::string_view html);

}  // namespace velkaron
