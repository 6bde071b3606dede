#pragma once

#include <gumbo.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "node/handle_types.h"

namespace velkaron {

using ElementList = std::vector<GumboNode*>;

// Maps built once at parse time so that attribute, text and position lookups answer by hash
// lookup instead of walking the document. Immutable once built; read without locks by the
// interpreter thread and by the parallel search workers.
class ElementIndex {
public:
    explicit ElementIndex(Tree* tree) : tree(tree) {}

    void build(GumboNode* root);

    bool is_built() const { return built; }
    double build_seconds() const { return build_duration; }
    std::uint64_t element_count() const { return elements.size(); }

    // Null when the key is absent.
    const ElementList* elements_with_tag(const std::string& name) const;
    const ElementList* elements_with_class(const std::string& token) const;
    GumboNode* first_element_with_id(const std::string& id) const;
    const ElementList* elements_with_attribute(const std::string& name,
                                               const std::string& value) const;
    const ElementList* elements_with_text(const std::string& text) const;
    GumboNode* element_at(std::uint64_t position) const;
    const std::unordered_map<std::string, ElementList>& elements_by_tag() const { return tag_map; }

    // Handles for an element list, in list order, repetitions kept.
    NodeList handles_for(const ElementList& list) const;

private:
    void index_element(GumboNode* element);

    Tree* tree;
    bool built = false;
    std::unordered_map<std::string, ElementList> tag_map;
    std::unordered_map<std::string, ElementList> class_map;
    std::unordered_map<std::string, GumboNode*> id_map;
    std::unordered_map<std::string, ElementList> attribute_map;
    std::unordered_map<std::string, ElementList> text_map;
    ElementList elements;
    double build_duration = 0.0;
};

}  // namespace velkaron
