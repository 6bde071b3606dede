#pragma once

// Readable text and Markdown of a subtree, written in one walk over the parsed tree
// (clean/render_walk.h) into one buffer. Both renderers share the per-tag rules
// (clean/tag_rules.h) and the line and whitespace handling (clean/output.h); they differ only
// in what each tag writes.

#include <gumbo.h>

#include <functional>
#include <string>

namespace velkaron::url {
class BaseUrl;
}

namespace velkaron::clean {

struct RenderOptions {
    bool list_bullets = true, alt_text = true, links = false, form_fields = false,
         noscript = false;
    const url::BaseUrl* base = nullptr;      // links made absolute when set
    // When set and true for an element, the element and its subtree are left out (used by
    // the main-content filter for boilerplate inside the article).
    std::function<bool(const GumboNode*)> drop;
};

std::string plain_text(const GumboNode* start, const RenderOptions& options);
std::string markdown(const GumboNode* start, const RenderOptions& options);

}  // namespace velkaron::clean
