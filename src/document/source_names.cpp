#include "document/source_names.h"

#include <vector>

#include "node/tag_name.h"

namespace velkaron {

namespace {

bool has_element_record(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

}  // namespace

void SourceNames::keep_all(GumboNode* node) {
    // The shared walk does not enter templates; this one must.
    std::vector<GumboNode*> stack{node};
    while (!stack.empty()) {
        GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) children = &node->v.document.children;
        if (has_element_record(node)) {
            children = &node->v.element.children;
            keep(node);
        }
        for (unsigned int i = 0; children != nullptr && i < children->length; ++i) {
            stack.push_back(static_cast<GumboNode*>(children->data[i]));
        }
    }
}

void SourceNames::keep(GumboNode* element) {
    if (element->v.element.tag != GUMBO_TAG_UNKNOWN) return;
    // Kept as "<name", the shape of the start tag's text that the name is read from.
    std::string spelling = "<";
    spelling += tag_name_view(element);
    const std::string& kept = *spellings.insert(std::move(spelling)).first;
    element->v.element.original_tag.data = kept.data();
    element->v.element.original_tag.length = kept.size();
}

}  // namespace velkaron
