#include "node/tag_name.h"

#include <cstring>

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

// Templates are elements in the document; the parser gives them a node type of their own.
bool has_element_record(const GumboNode* node) {
    return is_element_node(node) || (node != nullptr && node->type == GUMBO_NODE_TEMPLATE);
}

}  // namespace

std::string_view tag_name_view(const GumboNode* element) {
    if (!has_element_record(element)) return {};
    const GumboElement& record = element->v.element;
    std::string_view name = record.tag == GUMBO_TAG_UNKNOWN ? name_in_source(record.original_tag)
                                                            : element_name(element);
    if (record.tag_namespace == GUMBO_NAMESPACE_SVG && !name.empty()) {
        if (const char* adjusted = svg_case(name)) return adjusted;
    }
    return name;
}

void append_real_tag_name(const GumboNode* element, std::string& out) {
    const std::string_view name = tag_name_view(element);
    const std::size_t start = out.size();
    out.append(name);
    // Known tags come lower case from the parser's table and the SVG adjustments are already
    // in their final case: only names read from the source fold.
    if (element->v.element.tag != GUMBO_TAG_UNKNOWN) return;
    if (element->v.element.tag_namespace == GUMBO_NAMESPACE_SVG && svg_case(name) != nullptr) return;
    for (std::size_t i = start; i < out.size(); ++i) out[i] = ascii_lower(out[i]);
}

std::string real_tag_name(const GumboNode* element) {
    std::string name;
    if (has_element_record(element)) append_real_tag_name(element, name);
    return name;
}

void append_attribute_name(const GumboAttribute& attribute, std::string& out) {
    switch (attribute.attr_namespace) {
        case GUMBO_ATTR_NAMESPACE_XLINK: out += "xlink:"; break;
        case GUMBO_ATTR_NAMESPACE_XML: out += "xml:"; break;
        case GUMBO_ATTR_NAMESPACE_XMLNS:
            if (std::strcmp(attribute.name, "xmlns") != 0) out += "xmlns:";
            break;
        default: break;
    }
    out += attribute.name;
}

}  // namespace velkaron
