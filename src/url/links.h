#pragma once

#include <gumbo.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron {

class Tree;

namespace url {

class BaseUrl;

// The value of the element's first attribute named `name`, or nullopt when it has none.
std::optional<std::string_view> attribute_value(const GumboNode* element, std::string_view name);

// The href of every `a` and `area` element that has one, in document order, made absolute
// against `base`. A value comes back as written when there is no base, when it does not
// parse, and when it is a `javascript:` or `mailto:` link, which has no location to resolve.
std::vector<std::string> document_links(const Tree& tree, const BaseUrl* base);

}  // namespace url
}  // namespace velkaron
