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
// Templates count as elements for both.
std::string real_tag_name(const GumboNode* element);

// Appends real_tag_name(element) to `out` without a string of its own; `element` must be an
// element or a template.
void append_real_tag_name(const GumboNode* element, std::string& out);

// Appends an attribute's name as written in HTML: with its "xlink:", "xml:" or "xmlns:"
// prefix when the parser put it in one of those namespaces.
void append_attribute_name(const GumboAttribute& attribute, std::string& out);

}  // namespace velkaron
