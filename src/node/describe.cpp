#include "node/describe.h"

#include "node/tag_name.h"

namespace velkaron {

namespace {

constexpr std::size_t shown_characters = 10;

bool starts_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// Appends `text` quoted, with quotes and line breaks escaped so the description stays on one
// line, cut after nine characters and an ellipsis when it is longer than ten.
void append_quoted(const char* text, std::string& out) {
    std::size_t characters = 0;
    for (const char* p = text; *p != '\0'; ++p) characters += starts_character(*p);
    const std::size_t kept = characters > shown_characters ? shown_characters - 1 : characters;
    out += '"';
    std::size_t seen = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (starts_character(*p) && seen++ == kept) break;
        switch (*p) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += *p;
        }
    }
    if (kept < characters) out += "\xE2\x80\xA6";  // U+2026
    out += '"';
}

}  // namespace

std::string describe_node(const GumboNode* node) {
    std::string out = "<Node ";
    switch (node == nullptr ? GUMBO_NODE_DOCUMENT : node->type) {
        case GUMBO_NODE_DOCUMENT: out += "document"; break;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            append_real_tag_name(node, out);
            const GumboVector& attributes = node->v.element.attributes;
            for (unsigned int i = 0; i < attributes.length; ++i) {
                const auto* attribute = static_cast<const GumboAttribute*>(attributes.data[i]);
                out += ' ';
                append_attribute_name(*attribute, out);
                out += "=\"";
                for (const char* p = attribute->value; p != nullptr && *p != '\0'; ++p) {
                    if (*p == '"') out += '\\';
                    out += *p;
                }
                out += '"';
            }
            break;
        }
        case GUMBO_NODE_COMMENT:
            out += "comment ";
            append_quoted(node->v.text.text, out);
            break;
        default:
            out += "text ";
            append_quoted(node->v.text.text, out);
    }
    out += '>';
    return out;
}

}  // namespace velkaron
