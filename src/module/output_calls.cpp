#include "module/output_calls.h"

#include <cstdint>
#include <vector>

#include "clean/main_content.h"
#include "url/links.h"
#include "url/url.h"

namespace velkaron::module {

// Names from the source may hold bytes that are not UTF-8; they show as U+FFFD.
py::str utf8(const std::string& text) {
    PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                             "replace");
    if (decoded == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
}

GumboNode* document_of(const Tree& tree) {
    GumboNode* root = tree.root_element();
    return root != nullptr ? root->parent : nullptr;
}

namespace {

// Markup is written into one buffer per thread, kept between calls, so a large page's output
// lands in memory already mapped rather than in a string grown afresh page by page. A buffer
// grown past this is let go after the call.
constexpr std::size_t kept_markup_bytes = std::size_t{64} << 20;

// Writing a large page's markup reads only its parsed tree, which no Python code can change,
// so other threads run meanwhile; a small one is written faster than the lock changes hands.
constexpr std::uint64_t elements_worth_unlocking = 5000;

bool writes_long(const Tree* tree, const GumboNode* node) {
    if (tree == nullptr || tree->get_indexed_element_count() < elements_worth_unlocking) return false;
    return node == tree->root_element() || node == document_of(*tree);
}

}  // namespace

py::str written(const Tree* tree, const GumboNode* node, Append append) {
    thread_local std::string out;
    out.clear();
    if (writes_long(tree, node)) {
        py::gil_scoped_release released;
        append(node, out);
    } else {
        append(node, out);
    }
    py::str markup = utf8(out);
    if (out.capacity() > kept_markup_bytes) std::string().swap(out);
    return markup;
}

// Resolving a large page's links reads only its parsed tree, as writing its markup does.
py::list links_of(const Tree& tree, const std::optional<std::string>& base_url) {
    std::vector<std::string> links;
    auto resolve_all = [&]() {
        const std::optional<url::BaseUrl> base =
            url::document_base(tree, base_url.value_or(std::string()));
        links = url::document_links(tree, base ? &*base : nullptr);
    };
    if (tree.get_indexed_element_count() >= elements_worth_unlocking) {
        py::gil_scoped_release released;
        resolve_all();
    } else {
        resolve_all();
    }
    py::list result(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) result[i] = utf8(links[i]);
    return result;
}

py::str rendered(Renderer render_with, const Tree* tree, const GumboNode* node, bool list_bullets,
                 bool alt_text, bool links, bool form_fields, bool noscript,
                 std::optional<std::string> base_url, bool main_content) {
    clean::RenderOptions options;
    options.list_bullets = list_bullets;
    options.alt_text = alt_text;
    options.links = links;
    options.form_fields = form_fields;
    options.noscript = noscript;
    std::optional<url::BaseUrl> base;
    if (tree != nullptr) base = url::document_base(*tree, base_url.value_or(""));
    if (base) options.base = &*base;
    auto render = [&]() -> std::string {
        if (!main_content || tree == nullptr) return render_with(node, options);
        const clean::MainContent found = clean::find_main_content(*tree);
        if (found.root == nullptr) return {};
        options.drop = [&found](const GumboNode* n) { return found.is_boilerplate(n); };
        return render_with(found.root, options);
    };
    std::string out;
    if (writes_long(tree, node)) {
        py::gil_scoped_release released;
        out = render();
    } else {
        out = render();
    }
    return utf8(out);
}

}  // namespace velkaron::module
