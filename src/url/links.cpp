#include "url/links.h"

#include "document/element_index.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "url/url.h"

namespace velkaron::url {

namespace {

bool keeps_as_written(const UrlRecord& link) {
    return link.scheme == "javascript" || link.scheme == "mailto";
}

std::string resolved(std::string_view href, const BaseUrl* base) {
    if (base == nullptr) return std::string(href);
    const std::optional<UrlRecord> parsed = parse_url(href, &base->record());
    if (!parsed || keeps_as_written(*parsed)) return std::string(href);
    return parsed->serialize();
}

}  // namespace

std::optional<std::string_view> attribute_value(const GumboNode* element, std::string_view name) {
    const GumboAttribute* attribute = first_attribute_named(element, name);
    if (attribute == nullptr) return std::nullopt;
    return attribute->value != nullptr ? std::string_view(attribute->value) : std::string_view();
}

std::vector<std::string> document_links(const Tree& tree, const BaseUrl* base) {
    std::vector<std::string> links;
    const ElementIndex* index = tree.get_element_index();
    if (index == nullptr) return links;
    // Both position lists are in document order: merging them keeps it.
    const Ordinals& anchors = index->tag_positions(GUMBO_TAG_A);
    const Ordinals& areas = index->tag_positions(GUMBO_TAG_AREA);
    links.reserve(anchors.size() + areas.size());
    std::size_t a = 0, b = 0;
    while (a < anchors.size() || b < areas.size()) {
        const bool take_anchor = b == areas.size() || (a < anchors.size() && anchors[a] < areas[b]);
        const std::uint32_t position = take_anchor ? anchors[a++] : areas[b++];
        const std::optional<std::string_view> href = attribute_value(index->element_at(position), "href");
        if (href) links.push_back(resolved(*href, base));
    }
    return links;
}

}  // namespace velkaron::url
