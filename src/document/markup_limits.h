#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace velkaron {

// Caps that keep the parser's time linear on hostile markup. The parser compares each new
// attribute with every earlier one of its tag, and walks the stack of open elements on most
// start tags, so both costs grow with the square of the count; no real page comes near
// either cap.
struct MarkupLimits {
    static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();
    // Attributes kept per start tag; later ones are dropped, as repeated names are.
    std::size_t max_attributes = 1000;
    // Elements kept open at once below body; an element that would open deeper is kept, with
    // its attributes and content, as a sibling of the deepest one.
    std::size_t max_depth = 512;
};

// Null when the text is within the limits (the usual case: no copy is made), else the text
// with the extra attributes cut out and over-deep nesting flattened.
std::unique_ptr<std::string> within_limits(std::string_view html, const MarkupLimits& limits);

}  // namespace velkaron
