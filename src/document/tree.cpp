#include "document/tree.h"

#include <cstring>

#include "document/element_index.h"
#include "document/input_repair.h"
#include "document/parser.h"
#include "extract/zero_context_index.h"
#include "node/node.h"

namespace velkaron {

Tree::Tree(std::string_view html, const MarkupLimits& limits) {
    // The parser's source spans point into this text until the constructor returns.
    // Each step copies the text only when it changes something; `source` is the latest one.
    std::string_view source = html;
    const std::unique_ptr<std::string> repaired = without_overflowing_references(source);
    if (repaired != nullptr) source = *repaired;
    const std::unique_ptr<std::string> limited = within_limits(source, limits);
    if (limited != nullptr) source = *limited;
    // The document ends at the first NUL byte.
    source_length = source.find('\0');
    if (source_length == std::string_view::npos) source_length = source.size();
    arena = std::make_unique<ParseArena>();
    output = parse_document(source.data(), source_length, arena.get(), output_in_arena);
    if (output == nullptr || output->root == nullptr) return;
    try {
        // Nothing else can see the tree yet, so the cache is filled without the lock.
        root = cached_handle(output->root);
        element_index = std::make_unique<ElementIndex>(this);
        element_index->build(output->root, [this](GumboNode* node) { prepare(node); });
        zero_context_index = std::make_unique<ZeroContextIndex>(this);
    } catch (...) {
        release_output();
        throw;
    }
}

Tree::~Tree() { release_output(); }

void Tree::prepare(GumboNode* node) {
    // The index does not enter templates, so their contents are named in a walk of their own.
    if (node->type == GUMBO_NODE_TEMPLATE) return source_names.keep_all(node);
    attribute_repair.repair(node);
    source_names.keep(node);
}

void Tree::release_output() {
    // An arena frees the output itself, with the tree's last member.
    if (output_in_arena) return;
    attribute_repair.restore();
    destroy_document(output, source_length);
}

NodeHandle Tree::get_root() const { return root; }

void Tree::park(NodeHandle handle) const {
    if (parked.size() < parked_limit) {
        parked.push_back(std::move(handle));
        return;
    }
    parked[next_parked] = std::move(handle);
    next_parked = (next_parked + 1) % parked_limit;
}

NodeHandle Tree::create_element(const std::string&, const AttributeMap&) const { return nullptr; }

NodeList Tree::find_by_attribute(const std::string& attr_name, const std::string& value) const {
    if (element_index == nullptr || !element_index->is_built()) return {};
    return element_index->handles_for(element_index->elements_with_attribute(attr_name, value));
}

NodeList Tree::find_by_text_content(const std::string& text) const {
    if (element_index == nullptr || !element_index->is_built()) return {};
    return element_index->handles_for(element_index->elements_with_text(text));
}

NodeHandle Tree::get_nth_element(std::uint64_t index) const {
    if (element_index == nullptr || !element_index->is_built()) return nullptr;
    GumboNode* element = element_index->element_at(index);
    return element == nullptr ? nullptr : wrap_node(element);
}

double Tree::get_index_build_time() const {
    return element_index == nullptr ? 0.0 : element_index->build_seconds();
}

std::uint64_t Tree::get_indexed_element_count() const {
    return element_index == nullptr ? 0 : element_index->element_count();
}

std::size_t Tree::index_memory_bytes() const {
    return element_index != nullptr ? element_index->memory_bytes() : 0;
}

std::size_t Tree::parser_memory_bytes() const {
    return output_in_arena ? arena->reserved_bytes() : 0;
}

NodeHandle Tree::wrap_node(GumboNode* node) const {
    if (node == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(handle_mutex);
    return cached_handle(node);
}

NodeHandle Tree::cached_handle(GumboNode* node) const {
    std::weak_ptr<Node>& entry = handle_cache.entry(node);
    if (NodeHandle live = entry.lock()) return live;
    auto handle = std::allocate_shared<Node>(PoolAllocator<Node>(&handle_pool), node,
                                             const_cast<Tree*>(this));
    entry = handle;
    live_handles.fetch_add(1, std::memory_order_relaxed);
    return handle;
}

}  // namespace velkaron
