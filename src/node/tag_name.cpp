#include "node/tag_name.h"

#include "node/gumbo_access.h"

namespace velkaron {

namespace {

bool ends_tag_name(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '/' || c == '>';
}

// The name inside a start tag's source text ("<my-widget a=b>" gives "my-widget"). Read here
// rather than with the parser's helper, which asserts on the shape of the text.
std::string_view name_in_source(const GumboStringPiece& source) {
    if (source.data == nullptr || source.length < 2 || source.data[0] != '<') return {};
    std::size_t begin = source.data[1] == '/' ? 2 : 1;
    std::size_t end = begin;
    while (end < source.length && !ends_tag_name(source.data[end])) ++end;
    return std::string_view(source.data + begin, end - begin);
}

// The standard's case for an SVG element name, or null when the lower-case name stands.
const char* svg_case(std::string_view name) {
    GumboStringPiece piece{name.data(), name.size()};
    return gumbo_normalize_svg_tagname(&piece);
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string_view tag_name_view(const GumboNode* element) {
    if (!is_element_node(element)) return {};
    const GumboElement& record = element->v.element;
    std::string_view name = record.tag == GUMBO_TAG_UNKNOWN ? name_in_source(record.original_tag)
                                                            : element_name(element);
    if (record.tag_namespace == GUMBO_NAMESPACE_SVG && !name.empty()) {
        if (const char* adjusted = svg_case(name)) return adjusted;
    }
    return name;
}

std::string real_tag_name(const GumboNode* element) {
    std::string name(tag_name_view(element));
    // The SVG adjustments are already in their final case; everything else folds to lower.
    const bool adjusted = is_element_node(element) &&
                          element->v.element.tag_namespace == GUMBO_NAMESPACE_SVG &&
                          svg_case(name) != nullptr;
    if (!adjusted) {
        for (char& c : name) c = ascii_lower(c);
    }
    return name;
}

}  // namespace velkaron
