#include "serialize/html_writer.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "node/tag_name.h"

namespace velkaron {

namespace {

bool has_element_record(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

// Children of elements, templates (whose contents the parser keeps as children) and the document.
const GumboVector* child_list(const GumboNode* node) {
    if (node == nullptr) return nullptr;
    if (has_element_record(node)) return &node->v.element.children;
    if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
    return nullptr;
}

bool is_html_tag(const GumboNode* node, std::initializer_list<GumboTag> tags) {
    if (node == nullptr || !has_element_record(node)) return false;
    if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return false;
    for (GumboTag tag : tags) {
        if (node->v.element.tag == tag) return true;
    }
    return false;
}

bool is_void(const GumboNode* element) {
    return is_html_tag(element, {GUMBO_TAG_AREA, GUMBO_TAG_BASE, GUMBO_TAG_BASEFONT,
                                 GUMBO_TAG_BGSOUND, GUMBO_TAG_BR, GUMBO_TAG_COL, GUMBO_TAG_EMBED,
                                 GUMBO_TAG_FRAME, GUMBO_TAG_HR, GUMBO_TAG_IMG, GUMBO_TAG_INPUT,
                                 GUMBO_TAG_KEYGEN, GUMBO_TAG_LINK, GUMBO_TAG_META,
                                 GUMBO_TAG_PARAM, GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK,
                                 GUMBO_TAG_WBR});
}

// Elements whose text the parser takes as it stands, so it is written back unescaped. The
// parser runs without scripting, so noscript content is markup and its text is escaped.
bool keeps_raw_text(const GumboNode* element) {
    return is_html_tag(element, {GUMBO_TAG_STYLE, GUMBO_TAG_SCRIPT, GUMBO_TAG_XMP,
                                 GUMBO_TAG_IFRAME, GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES,
                                 GUMBO_TAG_PLAINTEXT});
}

// The bytes that may need escaping: '&' and the first byte of U+00A0 anywhere, '<' and '>'
// in text, '"' in attribute values. Runs without them are found by the C library's span
// scan, which reads many bytes at a time, and copied whole.
constexpr const char* text_specials = "&<>\xC2";
constexpr const char* attribute_specials = "&\"\xC2";

const char* replacement_for(char c) {
    switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        default: return "&quot;";
    }
}

void append_escaped(std::string& out, const char* text, bool attribute) {
    if (text == nullptr) return;
    const char* specials = attribute ? attribute_specials : text_specials;
    for (;;) {
        const std::size_t run = std::strcspn(text, specials);
        out.append(text, run);
        text += run;
        if (*text == '\0') return;
        if (*text != '\xC2') {
            out += replacement_for(*text);
            ++text;
        } else if (text[1] == '\xA0') {
            out += "&nbsp;";
            text += 2;
        } else {
            out += *text++;
        }
    }
}

void append_start_tag(const GumboNode* element, std::string& out) {
    out += '<';
    append_real_tag_name(element, out);
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(attributes.data[i]);
        if (attribute == nullptr || attribute->name == nullptr) continue;
        out += ' ';
        append_attribute_name(*attribute, out);
        out += "=\"";
        append_escaped(out, attribute->value, true);
        out += '"';
    }
    out += '>';
    // The parser drops one line feed right after these start tags: write one it can drop.
    const GumboVector& children = element->v.element.children;
    if (children.length > 0 && is_html_tag(element, {GUMBO_TAG_PRE, GUMBO_TAG_TEXTAREA,
                                                     GUMBO_TAG_LISTING})) {
        const auto* first = static_cast<const GumboNode*>(children.data[0]);
        if ((first->type == GUMBO_NODE_TEXT || first->type == GUMBO_NODE_WHITESPACE) &&
            first->v.text.text != nullptr && first->v.text.text[0] == '\n') {
            out += '\n';
        }
    }
}

void append_end_tag(const GumboNode* element, std::string& out) {
    out += "</";
    append_real_tag_name(element, out);
    out += '>';
}

// A doctype identifier in double quotes, or in single ones when it holds a double quote.
void append_identifier(const char* identifier, std::string& out) {
    const char quote = std::strchr(identifier, '"') != nullptr ? '\'' : '"';
    out += ' ';
    out += quote;
    out += identifier;
    out += quote;
}

void append_doctype(const GumboDocument& document, std::string& out) {
    if (!document.has_doctype) return;
    out += "<!DOCTYPE ";
    out += document.name != nullptr ? document.name : "";
    // The identifiers decide the parser's quirks mode, so they are kept.
    const bool has_public = document.public_identifier != nullptr && *document.public_identifier;
    const bool has_system = document.system_identifier != nullptr && *document.system_identifier;
    if (has_public) {
        out += " PUBLIC";
        append_identifier(document.public_identifier, out);
    } else if (has_system) {
        out += " SYSTEM";
    }
    if (has_system) append_identifier(document.system_identifier, out);
    out += '>';
}

// Everything but elements, templates and the document.
void append_leaf(const GumboNode* node, bool raw_text, std::string& out) {
    const char* text = node->v.text.text;
    switch (node->type) {
        case GUMBO_NODE_COMMENT:
            out += "<!--";
            out += text != nullptr ? text : "";
            out += "-->";
            break;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            if (raw_text) {
                out += text != nullptr ? text : "";
            } else {
                append_escaped(out, text, false);
            }
            break;
        default: break;
    }
}

// The children of `parent` and everything below them, depth bounded by memory rather than by
// the native stack.
void append_descendants(const GumboNode* parent, std::string& out) {
    struct Frame {
        const GumboNode* node;
        const GumboVector* children;
        unsigned int next;
        bool raw_text;
    };
    std::vector<Frame> stack;
    stack.reserve(32);
    stack.push_back({parent, child_list(parent), 0, keeps_raw_text(parent)});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.children == nullptr || frame.next == frame.children->length) {
            if (stack.size() > 1) append_end_tag(frame.node, out);
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(frame.children->data[frame.next++]);
        if (child == nullptr) continue;
        if (!has_element_record(child)) {
            append_leaf(child, frame.raw_text, out);
            continue;
        }
        append_start_tag(child, out);
        if (!is_void(child)) {
            stack.push_back({child, child_list(child), 0, keeps_raw_text(child)});
        }
    }
}

}  // namespace

void append_outer_html(const GumboNode* node, std::string& out) {
    if (node == nullptr) return;
    if (node->type == GUMBO_NODE_DOCUMENT) {
        append_doctype(node->v.document, out);
        append_descendants(node, out);
    } else if (has_element_record(node)) {
        append_start_tag(node, out);
        if (is_void(node)) return;
        append_descendants(node, out);
        append_end_tag(node, out);
    } else {
        append_leaf(node, keeps_raw_text(node->parent), out);
    }
}

void append_inner_html(const GumboNode* node, std::string& out) {
    if (node == nullptr || child_list(node) == nullptr) return;
    if (has_element_record(node) && is_void(node)) return;
    append_descendants(node, out);
}

}  // namespace velkaron
