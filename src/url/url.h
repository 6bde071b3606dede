#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "url/url_record.h"

namespace velkaron {

class Tree;

namespace url {

// A parsed absolute URL, used as the base that relative references are resolved against.
class BaseUrl {
public:
    // nullopt when `text` is not an absolute URL that parses.
    static std::optional<BaseUrl> parse(std::string_view text);
    // A record parse_url gave, which is always absolute.
    explicit BaseUrl(UrlRecord parts);
    // `reference` made absolute against this base; returned as it is (not resolved) when it
    // cannot be: it fails to parse, or it needs a step this resolver does not take (see
    // UrlRecord's parser).
    std::string resolve(std::string_view reference) const;
    const std::string& href() const { return serialized; }
    const UrlRecord& record() const { return parts; }

private:
    UrlRecord parts;
    std::string serialized;
};

// The document's base: its first <base href> resolved against `base_url`, else `base_url`;
// nullopt when neither gives an absolute URL.
std::optional<BaseUrl> document_base(const Tree& tree, std::string_view base_url);

}  // namespace url
}  // namespace velkaron
