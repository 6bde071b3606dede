#pragma once

#include <gumbo.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "document/attribute_repair.h"
#include "document/handle_cache.h"
#include "document/handle_pool.h"
#include "document/parse_arena.h"
#include "document/source_names.h"
#include "document/markup_limits.h"
#include "node/handle_types.h"

namespace velkaron {

class ElementIndex;
class ZeroContextIndex;

// The parsed document. Owns the parser output for its whole life, the root handle, both
// indexes and the handle cache. Neither copyable nor movable: handles and indexes point at it.
class Tree {
public:
    // Reads `html` only while the constructor runs.
    explicit Tree(std::string_view html, const MarkupLimits& limits = MarkupLimits());
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    NodeHandle get_root() const;
    NodeHandle create_element(const std::string& tag_name, const AttributeMap& attributes) const;
    NodeList find_by_attribute(const std::string& attr_name, const std::string& value) const;
    NodeList find_by_text_content(const std::string& text) const;
    NodeHandle get_nth_element(std::uint64_t index) const;
    double get_index_build_time() const;
    // CSS selectors over the whole document (select/node_select.cpp).
    NodeList select(const std::string& css) const;
    NodeHandle select_one(const std::string& css) const;
    std::uint64_t get_indexed_element_count() const;
    // The standard name of the encoding the text was decoded from, as the decoder reports it.
    const std::string& get_encoding() const { return encoding; }
    void set_encoding(std::string name) { encoding = std::move(name); }

    // Heap bytes of the indexes and text buffer, and of the parser's output when it lives in
    // the tree's arena (0 otherwise: gumbo's own allocations are not counted).
    std::size_t index_memory_bytes() const;
    std::size_t parser_memory_bytes() const;

    // The one live handle for a parser node, created and cached when needed. Thread-safe:
    // the parallel search workers call it concurrently.
    NodeHandle wrap_node(GumboNode* node) const;
    // Handles for node_at(0) .. node_at(count - 1), null nodes skipped, under one lock. The
    // cache slots of later nodes are fetched ahead: a long result would otherwise wait on
    // memory at every node.
    template <typename NodeAt>
    NodeList wrap_nodes(std::size_t count, NodeAt&& node_at) const {
        constexpr std::size_t ahead = 8;
        NodeList handles;
        handles.reserve(count);
        std::lock_guard<std::mutex> lock(handle_mutex);
        handle_cache.fit(live_handles.load(std::memory_order_relaxed) + count);
        for (std::size_t i = 0; i < count; ++i) {
            if (i + ahead < count) handle_cache.prefetch(node_at(i + ahead));
            GumboNode* node = node_at(i);
            if (node != nullptr) handles.push_back(cached_handle(node));
        }
        return handles;
    }

    // Called by the destructor of each handle the cache made, on whatever thread drops it.
    void handle_died() const { live_handles.fetch_sub(1, std::memory_order_relaxed); }

    // Keeps the handle of a node whose Python object died, up to parked_limit (the oldest goes
    // first), so the next search that finds the node reuses it instead of making it again: a
    // loop running the same query pays that at every node. Binding layer only, under its lock.
    void park(NodeHandle handle) const;

    // The binding layer's object for this tree, once it has looked it up; read and written
    // only by the binding layer, under its lock.
    void* binding_object() const { return bound; }
    void set_binding_object(void* object) const { bound = object; }

    // The parse's root element (the html element), or null after a failed parse.
    GumboNode* root_element() const { return output != nullptr ? output->root : nullptr; }
    const ElementIndex* get_element_index() const { return element_index.get(); }
    ZeroContextIndex* get_zero_context_index() const { return zero_context_index.get(); }

private:
    void release_output();
    // What the index build does to each element before indexing it, and to each template.
    void prepare(GumboNode* node);
    // The live handle for `node`, made when there is none. Called with handle_mutex held.
    NodeHandle cached_handle(GumboNode* node) const;

    // Declaration order matters: the parser output is freed first, in the destructor body,
    // then the members below it in reverse order.
    // Holds the parser output when gumbo takes an allocator; freed after everything else.
    std::unique_ptr<ParseArena> arena;
    GumboOutput* output = nullptr;
    bool output_in_arena = false;
    // Bytes the parser read; bounds the tree's depth when it is freed.
    std::size_t source_length = 0;
    AttributeRepair attribute_repair;
    std::string encoding = "utf-8";
    SourceNames source_names;
    // Before every handle holder below: the handles' memory outlives them.
    mutable HandlePool handle_pool;
    mutable std::atomic<std::size_t> live_handles{0};
    NodeHandle root;
    static constexpr std::size_t parked_limit = 4096;
    mutable std::vector<NodeHandle> parked;
    mutable std::size_t next_parked = 0;
    std::unique_ptr<ElementIndex> element_index;
    std::unique_ptr<ZeroContextIndex> zero_context_index;
    // The cache is the only state that changes after construction.
    mutable std::mutex handle_mutex;
    mutable HandleCache handle_cache;
    mutable void* bound = nullptr;
};

}  // namespace velkaron
