#include "module/node_attributes.h"

#include <string>

#include "module/output_calls.h"
#include "node/gumbo_access.h"
#include "node/tag_name.h"

namespace velkaron::module {

// Attributes in source order under the names HTML output gives them; `visit` returning true
// ends the walk.
namespace {

template <typename Visit>
void for_each_attribute(const Node& node, Visit&& visit) {
    const GumboNode* element = node.gumbo();
    if (element == nullptr ||
        (element->type != GUMBO_NODE_ELEMENT && element->type != GUMBO_NODE_TEMPLATE)) {
        return;
    }
    const GumboVector& attributes = element->v.element.attributes;
    std::string name;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = velkaron::attribute_at(&attributes, i);
        name.clear();
        velkaron::append_attribute_name(*attribute, name);
        if (visit(name, attribute->value != nullptr ? attribute->value : "")) return;
    }
}

}  // namespace

py::str tag_of(const Node& node) { return utf8(velkaron::real_tag_name(node.gumbo())); }

py::dict attrs_of(const Node& node) {
    py::dict attrs;
    for_each_attribute(node, [&attrs](const std::string& name, const char* value) {
        attrs[utf8(name)] = utf8(value);
        return false;
    });
    return attrs;
}

py::object attribute_or(const Node& node, const std::string& wanted, const py::object& fallback) {
    py::object found = fallback;
    for_each_attribute(node, [&](const std::string& name, const char* value) {
        if (name != wanted) return false;
        found = utf8(value);
        return true;
    });
    return found;
}

py::str attribute_or_key_error(const Node& node, const std::string& name) {
    py::object value = attribute_or(node, name, py::none());
    if (value.is_none()) throw py::key_error(name);
    return value;
}

}  // namespace velkaron::module
