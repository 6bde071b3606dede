#pragma once

// Real element names. The parser numbers the tags it knows and gives every other element the
// empty name; HTML output and selectors need the name the document actually used.

#include <gumbo.h>

#include <string>
#include <string_view>

namespace velkaron {

// The element's name without allocating: the parser's static lower-case name for a known tag,
// the standard's mixed-case name for SVG elements that have one (clipPath, foreignObject), else
// the name as written in the source, case not folded. Empty for anything but an element.
// Compare it ASCII case-insensitively, or use real_tag_name for the folded form.
std::string_view tag_name_view(const GumboNode* element);

// The element's name as the HTML standard gives it: lower case for HTML and MathML elements,
// known to the parser or not, and the mixed-case SVG names. Empty for anything but an element.
std::string real_tag_name(const GumboNode* element);

}  // namespace velkaron
