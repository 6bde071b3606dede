#include "url/url.h"

#include "document/element_index.h"
#include "document/tree.h"
#include "node/gumbo_access.h"
#include "url/links.h"

namespace velkaron::url {

BaseUrl::BaseUrl(UrlRecord parts) : parts(std::move(parts)), serialized(this->parts.serialize()) {}

std::optional<BaseUrl> BaseUrl::parse(std::string_view text) {
    std::optional<UrlRecord> parsed = parse_url(text, nullptr);
    if (!parsed) return std::nullopt;
    return BaseUrl(std::move(*parsed));
}

std::string BaseUrl::resolve(std::string_view reference) const {
    const std::optional<UrlRecord> parsed = parse_url(reference, &parts);
    return parsed ? parsed->serialize() : std::string(reference);
}

std::optional<BaseUrl> document_base(const Tree& tree, std::string_view base_url) {
    std::optional<BaseUrl> fallback = BaseUrl::parse(base_url);
    const ElementIndex* index = tree.get_element_index();
    if (index == nullptr) return fallback;
    for (const GumboNode* element : index->elements_by_tag().at(GUMBO_TAG_BASE)) {
        const std::optional<std::string_view> href = attribute_value(element, "href");
        if (!href) continue;
        std::optional<UrlRecord> parsed = parse_url(*href, fallback ? &fallback->record() : nullptr);
        if (!parsed) return fallback;
        return BaseUrl(std::move(*parsed));
    }
    return fallback;
}

}  // namespace velkaron::url
