#include "clean/tag_rules.h"

#include <cctype>
#include <cstring>
#include <string>

#include "node/gumbo_access.h"

namespace velkaron::clean {

namespace {

TagRule html_rule(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_HEAD: case GUMBO_TAG_TITLE: case GUMBO_TAG_BASE: case GUMBO_TAG_LINK:
        case GUMBO_TAG_META: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_DATALIST: case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK: case GUMBO_TAG_IFRAME: case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED: case GUMBO_TAG_CANVAS: case GUMBO_TAG_APPLET:
        case GUMBO_TAG_RP:
            return {Role::skipped};
        case GUMBO_TAG_P: case GUMBO_TAG_FIGURE: case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_FIELDSET: case GUMBO_TAG_DETAILS: case GUMBO_TAG_CENTER:
            return {Role::paragraph};
        case GUMBO_TAG_DIV: case GUMBO_TAG_SECTION: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_NAV:
        case GUMBO_TAG_ASIDE: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_MAIN:
        case GUMBO_TAG_HGROUP: case GUMBO_TAG_FIGCAPTION: case GUMBO_TAG_FORM:
        case GUMBO_TAG_LEGEND: case GUMBO_TAG_SUMMARY: case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_BODY: case GUMBO_TAG_HTML: case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT: case GUMBO_TAG_OPTGROUP:
        case GUMBO_TAG_OPTION: case GUMBO_TAG_MULTICOL:
            return {Role::block};
        case GUMBO_TAG_H1: return {Role::heading, 1};
        case GUMBO_TAG_H2: return {Role::heading, 2};
        case GUMBO_TAG_H3: return {Role::heading, 3};
        case GUMBO_TAG_H4: return {Role::heading, 4};
        case GUMBO_TAG_H5: return {Role::heading, 5};
        case GUMBO_TAG_H6: return {Role::heading, 6};
        case GUMBO_TAG_UL: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR: return {Role::list, 0};
        case GUMBO_TAG_OL: return {Role::list, 1};
        case GUMBO_TAG_LI: return {Role::list_item};
        case GUMBO_TAG_DL: return {Role::definition_list};
        case GUMBO_TAG_DT: return {Role::term};
        case GUMBO_TAG_DD: return {Role::definition};
        case GUMBO_TAG_TABLE: return {Role::table};
        case GUMBO_TAG_TR: return {Role::row};
        case GUMBO_TAG_TD: case GUMBO_TAG_TH: return {Role::cell};
        case GUMBO_TAG_BLOCKQUOTE: return {Role::blockquote};
        case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_XMP:
            return {Role::preformatted};
        case GUMBO_TAG_HR: return {Role::rule};
        case GUMBO_TAG_BR: return {Role::line_break};
        case GUMBO_TAG_IMG: case GUMBO_TAG_IMAGE: return {Role::image};
        case GUMBO_TAG_AREA: return {Role::area};
        case GUMBO_TAG_A: return {Role::link};
        case GUMBO_TAG_B: case GUMBO_TAG_STRONG: return {Role::strong};
        case GUMBO_TAG_I: case GUMBO_TAG_EM: return {Role::emphasis};
        case GUMBO_TAG_CODE: case GUMBO_TAG_KBD: case GUMBO_TAG_SAMP: case GUMBO_TAG_TT:
            return {Role::code};
        case GUMBO_TAG_DEL: case GUMBO_TAG_S: case GUMBO_TAG_STRIKE: return {Role::deleted};
        case GUMBO_TAG_INPUT: return {Role::input};
        case GUMBO_TAG_SELECT: return {Role::select};
        case GUMBO_TAG_TEXTAREA: return {Role::textarea};
        default: return {Role::inline_box};
    }
}

// An inline style that hides: `display: none` or `visibility: hidden` as one declaration,
// whatever the case and spacing.
bool style_hides(const char* style) {
    std::string squeezed;
    for (const char* c = style; *c != '\0'; ++c) {
        if (!std::isspace(static_cast<unsigned char>(*c))) {
            squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        }
    }
    for (const char* hiding : {"display:none", "visibility:hidden"}) {
        for (std::size_t at = squeezed.find(hiding); at != std::string::npos;
             at = squeezed.find(hiding, at + 1)) {
            const std::size_t end = at + std::strlen(hiding);
            const bool starts = at == 0 || squeezed[at - 1] == ';';
            const bool ends = end == squeezed.size() || squeezed[end] == ';' || squeezed[end] == '!';
            if (starts && ends) return true;
        }
    }
    return false;
}

}  // namespace

TagRule rule_for(const GumboNode* element) {
    const GumboTag tag = element->v.element.tag;
    if (element->v.element.tag_namespace == GUMBO_NAMESPACE_HTML) return html_rule(tag);
    // Inside SVG and MathML only their scripts, styles and titles stay out of sight.
    if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TITLE ||
        tag == GUMBO_TAG_DESC) {
        return {Role::skipped};
    }
    return {Role::inline_box};
}

const char* attribute_value(const GumboNode* element, const char* name) {
    const GumboAttribute* attribute = first_attribute_named(element, name);
    return attribute != nullptr && attribute->value != nullptr ? attribute->value : nullptr;
}

bool left_out(const GumboNode* element, Role role, const RenderOptions& options) {
    if (element->type == GUMBO_NODE_TEMPLATE || role == Role::skipped) return true;
    if (!options.noscript && element->v.element.tag == GUMBO_TAG_NOSCRIPT) return true;
    if (first_attribute_named(element, "hidden") != nullptr) return true;
    const char* style = attribute_value(element, "style");
    if (style != nullptr && style_hides(style)) return true;
    return options.drop && options.drop(element);
}

}  // namespace velkaron::clean
