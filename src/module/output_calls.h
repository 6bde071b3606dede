// The calls that write a document out: HTML, readable text, Markdown and resolved links. Each
// releases the interpreter lock on a large page, since writing reads only the parsed tree,
// which no Python code can change meanwhile.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include <gumbo.h>

#include "clean/render.h"
#include "document/tree.h"
#include "node/node.h"

namespace velkaron::module {

namespace py = pybind11;

// Names from the source may hold bytes that are not UTF-8; they show as U+FFFD.
py::str utf8(const std::string& text);

GumboNode* document_of(const Tree& tree);

using Append = void (*)(const GumboNode*, std::string&);
py::str written(const Tree* tree, const GumboNode* node, Append append);

py::list links_of(const Tree& tree, const std::optional<std::string>& base_url);

using Renderer = std::string (*)(const GumboNode*, const clean::RenderOptions&);

// Readable text and Markdown from keyword options. With `main_content`, only the page's main
// content is written, its boilerplate blocks left out (a page without main content gives "").
py::str rendered(Renderer render, const Tree* tree, const GumboNode* node, bool list_bullets,
                 bool alt_text, bool links, bool form_fields, bool noscript,
                 std::optional<std::string> base_url, bool main_content = false);

template <Renderer Render>
py::str node_rendered(const Node& node, bool list_bullets, bool alt_text, bool links,
                      bool form_fields, bool noscript, std::optional<std::string> base_url) {
    return rendered(Render, node.owner(), node.gumbo(), list_bullets, alt_text, links,
                    form_fields, noscript, std::move(base_url));
}

template <Renderer Render>
py::str tree_rendered(const Tree& tree, bool list_bullets, bool alt_text, bool links,
                      bool form_fields, bool noscript, std::optional<std::string> base_url,
                      bool main_content) {
    return rendered(Render, &tree, document_of(tree), list_bullets, alt_text, links, form_fields,
                    noscript, std::move(base_url), main_content);
}

}  // namespace velkaron::module
