// The selector methods of Tree and Node: compile (through the cache), plan and match, then
// hand out handles.

#include "document/element_index.h"
#include "document/tree.h"
#include "node/node.h"
#include "search/handles.h"
#include "select/cache.h"
#include "select/element_access.h"
#include "select/matcher.h"
#include "select/query.h"

namespace velkaron {

namespace {

NodeList select_in(const Tree* tree, GumboNode* scope, const std::string& css, bool first_only) {
    const auto program = select::compiled(css);
    if (tree == nullptr || (scope != nullptr && !is_container_node(scope))) return {};
    return wrap_all(*tree, select::run_query(tree->get_element_index(), scope, *program, first_only));
}

}  // namespace

NodeList Tree::select(const std::string& css) const { return select_in(this, nullptr, css, false); }

NodeHandle Tree::select_one(const std::string& css) const {
    return first_or_null(select_in(this, nullptr, css, true));
}

NodeList Node::select(const std::string& css) const {
    return select_in(owner(), gumbo(), css, false);
}

NodeHandle Node::select_one(const std::string& css) const {
    return first_or_null(select_in(owner(), gumbo(), css, true));
}

bool Node::matches(const std::string& css) const {
    const auto program = select::compiled(css);
    return is_element_node(gumbo()) && select::Matcher(gumbo()).matches(*program, gumbo());
}

NodeHandle Node::closest(const std::string& css) const {
    const auto program = select::compiled(css);
    if (!is_element_node(gumbo())) return nullptr;
    select::Matcher matcher(gumbo());
    for (GumboNode* at = gumbo(); at != nullptr; at = select::parent_element(at)) {
        if (matcher.matches(*program, at)) return handle_for(at);
    }
    return nullptr;
}

}  // namespace velkaron
