#include "document/head_charsets.h"

#include <optional>

#include "document/meta_prescan.h"
#include "node/gumbo_access.h"

namespace velkaron {

namespace {

const GumboNode* head_of(const GumboNode* root) {
    const GumboVector* children = children_of(root);
    if (children == nullptr) return nullptr;
    for (unsigned int i = 0; i < children->length; ++i) {
        const GumboNode* child = child_at(children, i);
        if (is_element_node(child) && child->v.element.tag == GUMBO_TAG_HEAD) return child;
    }
    return nullptr;
}

std::optional<std::string> declared_label(const GumboNode* meta) {
    MetaDeclaration declaration;
    const GumboVector& attributes = meta->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        declaration.add(attribute->name, attribute->value);
    }
    return declaration.label();
}

}  // namespace

std::vector<std::string> head_charset_labels(const GumboNode* root) {
    std::vector<std::string> labels;
    const GumboNode* head = head_of(root);
    if (head == nullptr) return labels;
    const GumboVector& children = head->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (!is_element_node(child) || child->v.element.tag != GUMBO_TAG_META) continue;
        if (std::optional<std::string> label = declared_label(child)) labels.push_back(*label);
    }
    return labels;
}

}  // namespace velkaron
