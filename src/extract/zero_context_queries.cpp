// Whole-document questions answered from the zero-context index with plain strings and
// counts. They answer on the tree's root element only; any other handle gets an empty answer.

#include "document/tree.h"
#include "extract/zero_context_index.h"
#include "node/node.h"

namespace velkaron {

namespace {

std::uint64_t count_of(ZeroContextIndex& index, ZeroContextQuery::Kind kind,
                       const std::string& key) {
    return std::get<std::uint64_t>(index.cached_answer({kind, key, std::string()}));
}

}  // namespace

ZeroContextIndex* Node::zero_context_at_root() const {
    return is_root_of_tree() ? owner()->get_zero_context_index() : nullptr;
}

std::vector<std::string> Node::get_all_text_by_tag(const std::string& tag_name) const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return {};
    return index->text_by_tag(tag_name);
}

std::vector<std::string> Node::get_all_text_by_class(const std::string& class_name) const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return {};
    return index->text_by_class(class_name);
}

std::vector<std::string> Node::get_all_hrefs() const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return {};
    return index->attribute_values_by_tag("a", "href");
}

std::vector<std::string> Node::get_all_src_attributes() const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return {};
    return index->attribute_values_by_tag("img", "src");
}

std::uint64_t Node::count_elements_by_tag(const std::string& tag_name) const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return 0;
    return count_of(*index, ZeroContextQuery::count_by_tag, tag_name);
}

std::uint64_t Node::count_elements_by_class(const std::string& class_name) const {
    ZeroContextIndex* index = zero_context_at_root();
    if (index == nullptr) return 0;
    return count_of(*index, ZeroContextQuery::count_by_class, class_name);
}

}  // namespace velkaron
