#include "node/gumbo_access.h"
#include "node/node.h"

namespace velkaron {

std::string Node::get_name() const {
    if (!is_element_node(gumbo())) return std::string();
    const char* name = element_name(gumbo());
    return name == nullptr ? std::string() : std::string(name);
}

AttributeMap Node::get_attributes() const {
    AttributeMap attributes;
    if (!is_element_node(gumbo())) return attributes;
    const GumboVector& list = gumbo()->v.element.attributes;
    for (unsigned int i = 0; i < list.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&list, i);
        if (attribute == nullptr || attribute->name == nullptr) continue;
        // A repeated name keeps the later value.
        attributes[attribute->name] = attribute->value == nullptr ? "" : attribute->value;
    }
    return attributes;
}

std::string Node::get_attribute(const std::string& name) const {
    if (!is_element_node(gumbo())) return std::string();
    const GumboAttribute* attribute = first_attribute_named(gumbo(), name);
    if (attribute == nullptr || attribute->value == nullptr) return std::string();
    return attribute->value;
}

bool Node::has_attribute(const std::string& name) const { return !get_attribute(name).empty(); }

}  // namespace velkaron
