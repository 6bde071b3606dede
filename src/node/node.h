#pragma once

#include <gumbo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "node/handle_types.h"

namespace velkaron {

class ZeroContextIndex;

// The handle through which Python sees one parser node. A handle copies nothing out of the
// parser tree; the same handle is handed out for the same parser node while anyone holds it
// (see Tree::wrap_node). Handles are always shared objects, created by the tree's cache.
// Member functions are grouped by concern and defined in the file named beside each group.
class Node {
public:
    Node(GumboNode* node, Tree* tree) : node(node), tree(tree) {}
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    GumboNode* gumbo() const { return node; }
    // The binding layer's object for this handle while it has one; read and written only by
    // the binding layer, under its lock. Native code leaves it alone.
    void* binding_object() const { return bound; }
    void set_binding_object(void* object) const { bound = object; }
    Tree* owner() const { return tree; }
    // The handle for another parser node: through the tree's cache, or tree-less.
    NodeHandle handle_for(GumboNode* other) const;

    // Kind tests and navigation (node/navigation.cpp)
    bool is_element() const;
    bool is_text() const;
    bool is_document() const;
    NodeHandle get_parent() const;
    NodeList get_children() const;
    NodeHandle get_next_sibling() const;
    NodeHandle get_previous_sibling() const;
    NodeHandle get_next_element() const;
    NodeHandle get_previous_element() const;
    NodeList get_descendants() const;
    NodeList get_all_descendants_with_text() const;
    NodeList get_all_parents() const;
    NodeList get_all_next_siblings_including_text() const;
    NodeList get_all_previous_siblings_including_text() const;
    std::uint64_t get_gumbo_node() const;

    // Text (node/text.cpp)
    std::string get_text() const;
    std::string get_text_with_separator(const std::string& separator) const;
    std::string get_text_stripped() const;
    std::string get_text_with_separator_stripped(const std::string& separator) const;
    std::vector<std::string> get_strings() const;
    std::vector<std::string> get_stripped_strings() const;
    std::string get_direct_text() const;

    // Name and attributes (node/attributes.cpp)
    std::string get_name() const;
    AttributeMap get_attributes() const;
    std::string get_attribute(const std::string& name) const;
    bool has_attribute(const std::string& name) const;

    // Edit-named operations; the parsed document is immutable (node/edits.cpp)
    void decompose() const;
    void clear() const;
    void set_attribute(const std::string& name, const std::string& value) const;
    void remove_attribute(const std::string& name) const;
    NodeHandle extract() const;
    NodeHandle unwrap() const;
    void replace_with(NodeHandle replacement) const;
    void append(NodeHandle child) const;
    void insert(std::int64_t position, NodeHandle child) const;
    NodeHandle wrap(NodeHandle wrapper) const;

    // Sequential search (search/find.cpp, search/ultra_fast.cpp, search/bulk.cpp)
    NodeList find_all(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeHandle find(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeList find_all_ultra_fast(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeHandle find_ultra_fast(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeList find_all_bulk(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeHandle find_bulk(const std::string& tag_name, const AttributeMap& attrs) const;
    NodeList find_descendants_by_tag(const std::string& tag_name) const;

    // Multi-threaded search (search/parallel.cpp, search/parallel_optimized.cpp)
    NodeList find_all_parallel(const std::string& tag_name, const AttributeMap& attrs,
                               bool enable_parallel) const;
    NodeHandle find_parallel(const std::string& tag_name, const AttributeMap& attrs,
                             bool enable_parallel) const;
    NodeList find_all_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                         bool enable_parallel) const;
    NodeHandle find_parallel_optimized(const std::string& tag_name, const AttributeMap& attrs,
                                       bool enable_parallel) const;

    // Whole-document queries, answered on the root element only (extract/zero_context_queries.cpp)
    std::vector<std::string> get_all_text_by_tag(const std::string& tag_name) const;
    std::vector<std::string> get_all_text_by_class(const std::string& class_name) const;
    std::vector<std::string> get_all_hrefs() const;
    std::vector<std::string> get_all_src_attributes() const;
    std::uint64_t count_elements_by_tag(const std::string& tag_name) const;
    std::uint64_t count_elements_by_class(const std::string& class_name) const;

    // CSS selectors (select/node_select.cpp): matches among the descendants, read in the
    // context of the whole document; :scope is this node.
    NodeList select(const std::string& css) const;
    NodeHandle select_one(const std::string& css) const;
    bool matches(const std::string& css) const;
    NodeHandle closest(const std::string& css) const;

    std::string test_method() const;

private:
    // True when this handle is the document's root element of a tree it belongs to.
    bool is_root_of_tree() const;
    // The tree's zero-context index when this handle is its root element, else null: the
    // whole-document queries answer only there.
    ZeroContextIndex* zero_context_at_root() const;

    GumboNode* const node;
    Tree* const tree;
    mutable void* bound = nullptr;
};

}  // namespace velkaron
