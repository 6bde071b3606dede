// The Python module `_velkaron`: the two classes and their methods, one `.def` per method.
// Both classes are declared before any method is added so that every signature names the
// Python types. Node is a lean type of its own (module/node_type.h), not a pybind11 class.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include <functional>
#include <string_view>

#include <optional>

#include "clean/main_content.h"
#include "document/batch.h"
#include "document/head_charsets.h"
#include "document/meta_prescan.h"
#include "document/tree.h"
#include "document/utf8_check.h"
#include "clean/render.h"
#include "module/base_guard.h"
#include "module/fast_call.h"
#include "module/initialised_caster.h"
#include "module/node_caster.h"
#include "module/node_class.h"
#include "module/node_attributes.h"
#include "module/node_type.h"
#include "module/output_calls.h"
#include "module/tree_holder.h"
#include "node/describe.h"
#include "node/gumbo_access.h"
#include "node/node.h"
#include "node/tag_name.h"
#include "serialize/html_writer.h"
#include "select/selector.h"

namespace py = pybind11;
using namespace pybind11::literals;
using velkaron::AttributeMap;
using velkaron::MarkupLimits;
using velkaron::Node;
using velkaron::Tree;
using velkaron::TreeHolder;
using velkaron::module::attribute_or;
using velkaron::module::attribute_or_key_error;
using velkaron::module::attrs_of;
using velkaron::module::document_of;
using velkaron::module::links_of;
using velkaron::module::node_rendered;
using velkaron::module::tag_of;
using velkaron::module::tree_rendered;
using velkaron::module::utf8;
using velkaron::module::written;

namespace {

using SourceText = py::typing::Union<py::str, py::bytes, py::bytearray>;

bool is_bytes_like(const py::handle& data) {
    return PyBytes_Check(data.ptr()) || PyByteArray_Check(data.ptr());
}

std::string_view bytes_of(const py::handle& data) {
    if (PyBytes_Check(data.ptr())) {
        return {PyBytes_AS_STRING(data.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(data.ptr()))};
    }
    if (PyByteArray_Check(data.ptr())) {
        return {PyByteArray_AS_STRING(data.ptr()),
                static_cast<std::size_t>(PyByteArray_GET_SIZE(data.ptr()))};
    }
    throw py::type_error("bytes or bytearray expected");
}

// The document's text as UTF-8. A str that has no UTF-8 form (a lone surrogate) raises
// UnicodeEncodeError; bytes are taken as UTF-8, less a leading byte-order mark. Viewed in
// place while `html` is held: neither a str's UTF-8 form nor a bytes object can change, even
// with the lock released. A bytearray can, so it is copied into `copy`.
std::string_view source_view(const py::handle& html, std::string& copy) {
    if (PyUnicode_Check(html.ptr())) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(html.ptr(), &size);
        if (data == nullptr) throw py::error_already_set();
        return {data, static_cast<std::size_t>(size)};
    }
    if (!is_bytes_like(html)) {
        throw py::type_error("Tree() takes str, bytes or bytearray, not " +
                             std::string(Py_TYPE(html.ptr())->tp_name));
    }
    const std::string_view bytes = bytes_of(html);
    const std::string_view bom = "\xEF\xBB\xBF";
    const std::string_view text = bytes.substr(bytes.substr(0, 3) == bom ? 3 : 0);
    if (!PyByteArray_Check(html.ptr())) return text;
    copy.assign(text);
    return copy;
}


// velkaron.parse's helpers: the test for bytes that need no decoding, and the <meta> prescan.
bool utf8_valid(const py::handle& data) { return velkaron::is_valid_utf8(bytes_of(data)); }

py::list labels_as_bytes(const std::vector<std::string>& labels) {
    py::list out;
    for (const std::string& label : labels) out.append(py::bytes(label));
    return out;
}

py::list meta_charsets(const py::handle& data) {
    return labels_as_bytes(velkaron::meta_charset_labels(bytes_of(data)));
}

// And the late <meta> a parsed head declares, for a page whose encoding was only a guess.
py::list head_charsets(const Tree& tree) {
    return labels_as_bytes(velkaron::head_charset_labels(tree.root_element()));
}

// Handles of one parser node compare equal whatever their Python identity.
py::object same_node(const Node& node, const py::object& other) {
    if (!velkaron::is_node_object(other.ptr())) {
        return py::reinterpret_borrow<py::object>(Py_NotImplemented);
    }
    return py::bool_(node.gumbo() == velkaron::handle_of(other.ptr())->gumbo());
}

std::size_t node_hash(const Node& node) { return std::hash<const void*>()(node.gumbo()); }

// Trees and nodes view native data and cannot be pickled or copied. Said here because the
// inherited __reduce__ would try to make a bare object, which for a Tree aborts the process.
py::object refuse_pickling(const py::handle& self) {
    throw py::type_error("cannot pickle '" + std::string(Py_TYPE(self.ptr())->tp_name) +
                         "' object");
}

// A limit of None lifts it.
MarkupLimits limits_of(std::optional<std::size_t> max_attributes, std::optional<std::size_t> max_depth) {
    MarkupLimits limits;
    limits.max_attributes = max_attributes.value_or(MarkupLimits::unlimited);
    limits.max_depth = max_depth.value_or(MarkupLimits::unlimited);
    return limits;
}

// Parsing and indexing read only text no Python code can change: no lock is needed while
// they run.
TreeHolder make_tree(const SourceText& html, std::optional<std::size_t> max_attributes,
                     std::optional<std::size_t> max_depth) {
    const MarkupLimits limits = limits_of(max_attributes, max_depth);
    std::string copy;
    const std::string_view text = source_view(html, copy);
    py::gil_scoped_release released;
    return TreeHolder(new Tree(text, limits));
}

// The Python trees are made once the lock is held again.
py::list parse_many(const py::sequence& documents, std::size_t threads,
                    std::optional<std::size_t> max_attributes, std::optional<std::size_t> max_depth) {
    const MarkupLimits limits = limits_of(max_attributes, max_depth);
    // Each text is viewed in place, as Tree's is, with its document held here: the sequence
    // itself could drop it while the lock is released. Bytearrays are copied, sized up front
    // so no copy moves.
    const std::size_t count = documents.size();
    std::vector<py::object> held;
    std::vector<std::string> copies(count);
    std::vector<std::string_view> texts;
    held.reserve(count);
    texts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        held.push_back(documents[i]);
        texts.push_back(source_view(held.back(), copies[i]));
    }
    std::vector<std::unique_ptr<Tree>> trees;
    {
        py::gil_scoped_release released;
        trees = velkaron::parse_all(texts, threads, limits);
    }
    py::list result(trees.size());
    for (std::size_t i = 0; i < trees.size(); ++i) {
        result[i] = py::cast(TreeHolder(trees[i].release()));
    }
    return result;
}

}  // namespace

PYBIND11_MODULE(_velkaron, m, py::multiple_interpreters::not_supported()) {
    m.doc() = "Velkaron: High-performance HTML parsing library";
    m.def("_utf8_valid", &utf8_valid);
    m.def("_meta_charsets", &meta_charsets);

    velkaron::guard_bare_base();
    py::class_<Tree, TreeHolder> tree(m, "Tree");
    velkaron::NodeClass node(velkaron::add_node_type(m.ptr()));
    py::register_exception<velkaron::select::SelectorError>(m, "SelectorError", PyExc_ValueError);

    const AttributeMap no_attributes;
    const auto render_keywords = [](auto& type, const char* name, auto function, const char* doc,
                                    auto... more) {
        type.def(name, function, doc, py::kw_only(), "list_bullets"_a = true, "alt_text"_a = true,
                 "links"_a = false, "form_fields"_a = false, "noscript"_a = false,
                 "base_url"_a = py::none(), more...);
    };
    const char* plain_text_doc = "The text a reader sees: blocks on their own lines, whitespace "
                                 "collapsed, hidden elements left out";
    const char* markdown_doc = "The content as CommonMark with GitHub tables";

    m.def("parse_many", &parse_many,
          "Parse every text into a Tree on up to `threads` native threads (0: one per core)",
          "texts"_a, "threads"_a = 0, py::kw_only(), "max_attributes"_a = MarkupLimits().max_attributes,
          "max_depth"_a = MarkupLimits().max_depth);

    tree.def(py::init(&make_tree), "html"_a, py::pos_only(), py::kw_only(),
             "max_attributes"_a = MarkupLimits().max_attributes,
             "max_depth"_a = MarkupLimits().max_depth)
        .def("__reduce__", &refuse_pickling)
        .def_property_readonly("html", [](const Tree& tree) {
            return written(&tree, document_of(tree), velkaron::append_outer_html); },
            "The whole document as HTML, doctype included")
        .def_property_readonly("encoding", &Tree::get_encoding,
                               "The standard name of the encoding the document was decoded from")
        .def("_set_encoding", &Tree::set_encoding)
        .def("_head_charsets", &head_charsets)
        .def("create_element", &Tree::create_element,
             "Create a new element with the given tag name and attributes", "tag_name"_a,
             "attributes"_a = no_attributes)
        .def("find_by_attribute", &Tree::find_by_attribute,
             "Find elements by attribute name and value using advanced indexing", "attr_name"_a,
             "value"_a)
        .def("find_by_text_content", &Tree::find_by_text_content,
             "Find elements by their immediate text content using advanced indexing", "text"_a)
        .def("get_nth_element", &Tree::get_nth_element,
             "Get the nth element from the indexed elements list", "index"_a)
        .def("get_index_build_time", &Tree::get_index_build_time,
             "Get time taken to build indexes (in seconds)")
        .def("get_indexed_element_count", &Tree::get_indexed_element_count,
             "Get number of indexed elements")
        .def("links", &links_of,
             "The href of every a and area element, in document order, made absolute against the "
             "document's first <base href> and `base_url`; values that cannot be resolved (no "
             "base, javascript: and mailto: links, unparsable ones) come back as written",
             "base_url"_a = py::none());
    tree.def("main_content", [](const Tree& t) -> velkaron::NodeHandle {
            const auto found = velkaron::clean::find_main_content(t);
            return found.root != nullptr ? t.wrap_node(const_cast<GumboNode*>(found.root)) : nullptr; },
             "The element holding the page's main content, or None when it has none")
        .def("_main_content_boilerplate", [](const Tree& t) {
            velkaron::NodeList nodes;
            for (const GumboNode* n : velkaron::clean::find_main_content(t).boilerplate)
                nodes.push_back(t.wrap_node(const_cast<GumboNode*>(n)));
            return nodes; });
    render_keywords(tree, "plain_text", &tree_rendered<velkaron::clean::plain_text>, plain_text_doc,
                    "main_content"_a = false);
    render_keywords(tree, "markdown", &tree_rendered<velkaron::clean::markdown>, markdown_doc,
                    "main_content"_a = false);
    render_keywords(node, "plain_text", &node_rendered<velkaron::clean::plain_text>, plain_text_doc);
    render_keywords(node, "markdown", &node_rendered<velkaron::clean::markdown>, markdown_doc);
    velkaron::fast::def_property<&Tree::get_root>(tree, "root", "The root element of the document");
    velkaron::fast::def<&Tree::get_root>(tree, "get_root", "Get the root node of the parsed HTML tree");
    velkaron::fast::def<&Tree::select>(tree, "select",
        "All elements matching a CSS selector, in document order", "css"_a);
    velkaron::fast::def<&Tree::select_one>(tree, "select_one",
        "The first element matching a CSS selector, or None", "css"_a);

    node.def("__reduce__", &refuse_pickling);
    node.def_property_fast<&tag_of>("tag", "The element's real name; empty for other kinds of node")
        .def_property_fast<&attrs_of>("attrs",
                                      "The attributes as a dict in source order; valueless ones map to ''")
        .def_property_fast<&Node::get_text>("text", "All text content within this node")
        .def_property_fast<&Node::get_parent>("parent", "The parent node, or None")
        .def_property_readonly("html", [](const Node& n) {
            return written(n.owner(), n.gumbo(), velkaron::append_outer_html); }, "The node as HTML")
        .def_property_readonly("inner_html", [](const Node& n) {
            return written(n.owner(), n.gumbo(), velkaron::append_inner_html); }, "The node's contents as HTML")
        .def_fast<&attribute_or>("get", "An attribute's value, or default when it is absent", "name"_a,
                                 "default"_a = py::none())
        .def_fast<&attribute_or_key_error>("__getitem__", "An attribute's value; KeyError when absent")
        .def("__repr__", [](const Node& n) { return utf8(velkaron::describe_node(n.gumbo())); })
        .def("__eq__", &same_node)
        .def("__hash__", &node_hash)
        .def("get_name", &Node::get_name, "Get the tag name of this node")
        .def("get_attributes", &Node::get_attributes, "Get all attributes as a dictionary")
        .def_fast<&Node::get_attribute>("get_attribute", "Get a specific attribute value")
        .def_fast<&Node::get_text>("get_text", "Get all text content within this node")
        .def("get_text_with_separator", &Node::get_text_with_separator,
             "Get all text content joined with a separator", "separator"_a)
        .def("get_text_stripped", &Node::get_text_stripped,
             "Get all text content with leading and trailing whitespace trimmed")
        .def("get_text_with_separator_stripped", &Node::get_text_with_separator_stripped,
             "Get all text content with a separator and trimmed whitespace", "separator"_a)
        .def("get_strings", &Node::get_strings,
             "Get all descendant string nodes as Python strings")
        .def("get_stripped_strings", &Node::get_stripped_strings,
             "Get all descendant string nodes with whitespace trimmed")
        .def("get_direct_text", &Node::get_direct_text,
             "Get only direct text children of this node")
        .def("is_element", &Node::is_element, "Check if this node is an element")
        .def("is_text", &Node::is_text, "Check if this node is a text node")
        .def("is_document", &Node::is_document, "Check if this node is the document root")
        .def("get_parent", &Node::get_parent, "Get the parent node")
        .def("get_children", &Node::get_children, "Get all child nodes")
        .def("get_next_sibling", &Node::get_next_sibling, "Get the next sibling node")
        .def("get_previous_sibling", &Node::get_previous_sibling, "Get the previous sibling node")
        .def("get_next_element", &Node::get_next_element, "Get the next element sibling")
        .def("get_previous_element", &Node::get_previous_element,
             "Get the previous element sibling")
        .def("get_descendants", &Node::get_descendants, "Get all descendant nodes")
        .def("get_all_descendants_with_text", &Node::get_all_descendants_with_text,
             "Get all descendant nodes including text nodes")
        .def("get_all_parents", &Node::get_all_parents,
             "Get all parent element nodes up to the document root")
        .def("get_all_next_siblings_including_text", &Node::get_all_next_siblings_including_text,
             "Get all following siblings, including text nodes")
        .def("get_all_previous_siblings_including_text",
             &Node::get_all_previous_siblings_including_text,
             "Get all previous siblings, including text nodes")
        .def_fast<&Node::find_all>("find_all", "Find all matching nodes", "tag_name"_a = "",
                                   "attrs"_a = no_attributes)
        .def_fast<&Node::find>("find", "Find the first matching node", "tag_name"_a = "",
                               "attrs"_a = no_attributes)
        .def("find_descendants_by_tag", &Node::find_descendants_by_tag,
             "Find descendant elements by tag name without including the current node",
             "tag_name"_a)
        .def("find_all_bulk", &Node::find_all_bulk,
             "Find all matching nodes using bulk operations (eliminates Python/C++ boundary "
             "overhead)",
             "tag_name"_a = "", "attrs"_a = no_attributes)
        .def("find_bulk", &Node::find_bulk,
             "Find the first matching node using bulk operations (eliminates Python/C++ "
             "boundary overhead)",
             "tag_name"_a = "", "attrs"_a = no_attributes)
        .def("decompose", &Node::decompose, "Remove and destroy this node")
        .def("extract", &Node::extract, "Remove and return this node")
        .def("clear", &Node::clear, "Remove all children from this node")
        .def("replace_with", &Node::replace_with, "Replace this node with another node")
        .def("append", &Node::append, "Append a child node")
        .def("insert", &Node::insert, "Insert a child node at a specific position")
        .def("wrap", &Node::wrap, "Wrap this node with another element")
        .def("unwrap", &Node::unwrap, "Remove the wrapper while keeping content")
        .def("has_attribute", &Node::has_attribute, "Check if node has the specified attribute")
        .def("set_attribute", &Node::set_attribute, "Set an attribute value")
        .def("remove_attribute", &Node::remove_attribute, "Remove an attribute")
        .def("get_gumbo_node", &Node::get_gumbo_node,
             "Get the raw Gumbo node pointer as an integer identity token")
        .def("find_all_parallel", &Node::find_all_parallel,
             "Find all matching nodes using parallel processing", "tag_name"_a = "",
             "attrs"_a = no_attributes, "enable_parallel"_a = true)
        .def("find_parallel", &Node::find_parallel,
             "Find the first matching node using parallel processing", "tag_name"_a = "",
             "attrs"_a = no_attributes, "enable_parallel"_a = true)
        .def("find_all_parallel_optimized", &Node::find_all_parallel_optimized,
             "Find all matching nodes using optimized parallel processing", "tag_name"_a = "",
             "attrs"_a = no_attributes, "enable_parallel"_a = true)
        .def("find_parallel_optimized", &Node::find_parallel_optimized,
             "Find the first matching node using optimized parallel processing",
             "tag_name"_a = "", "attrs"_a = no_attributes, "enable_parallel"_a = true)
        .def("find_all_ultra_fast", &Node::find_all_ultra_fast,
             "Find all matching nodes using ultra-fast SIMD-optimized processing",
             "tag_name"_a = "", "attrs"_a = no_attributes)
        .def("find_ultra_fast", &Node::find_ultra_fast,
             "Find the first matching node using ultra-fast SIMD-optimized processing",
             "tag_name"_a = "", "attrs"_a = no_attributes)
        .def("get_all_text_by_tag", &Node::get_all_text_by_tag,
             "Get all text content for elements with specified tag (zero-context)", "tag_name"_a)
        .def("get_all_text_by_class", &Node::get_all_text_by_class,
             "Get all text content for elements with specified class (zero-context)",
             "class_name"_a)
        .def("get_all_hrefs", &Node::get_all_hrefs,
             "Get all href attributes from anchor tags (zero-context)")
        .def("get_all_src_attributes", &Node::get_all_src_attributes,
             "Get all src attributes from img tags (zero-context)")
        .def("count_elements_by_tag", &Node::count_elements_by_tag,
             "Count elements with specified tag (zero-context)", "tag_name"_a)
        .def("count_elements_by_class", &Node::count_elements_by_class,
             "Count elements with specified class (zero-context)", "class_name"_a)
        .def_fast<&Node::select>("select", "Descendants matching a CSS selector, in document order",
                                 "css"_a)
        .def_fast<&Node::select_one>("select_one",
                                     "The first descendant matching a CSS selector, or None", "css"_a)
        .def("matches", &Node::matches, "Whether this element matches a CSS selector", "css"_a)
        .def("closest", &Node::closest,
             "This element or its nearest ancestor matching a CSS selector, or None", "css"_a)
        .def("test_method", &Node::test_method, "Test method to verify compilation");
    velkaron::seal(tree);
    velkaron::seal(velkaron::node_type());
}
