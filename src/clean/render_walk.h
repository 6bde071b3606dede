#pragma once

// The one walk both renderers make: document order over the elements and text below a start,
// with an explicit stack (pages nest deeper than the native stack allows). Elements left out
// (clean/tag_rules.h) are passed over with their subtrees; the renderer's actions say what
// each element writes when it opens and closes, and whether its children are read.

#include <gumbo.h>

#include <vector>

#include "clean/tag_rules.h"
#include "node/gumbo_access.h"

namespace velkaron::clean {

// Actions: bool open(const GumboNode*, TagRule) (true: read the children),
// void close(const GumboNode*, TagRule), void text(const GumboNode*).
template <typename Actions>
void render_walk(const GumboNode* start, const RenderOptions& options, Actions& actions) {
    if (start == nullptr) return;
    if (is_text_like_node(start) || start->type == GUMBO_NODE_CDATA) {
        actions.text(start);
        return;
    }
    struct Frame {
        const GumboNode* node;
        TagRule rule;
        unsigned int next;
    };
    std::vector<Frame> stack;
    stack.reserve(64);
    const auto enter = [&](const GumboNode* node) {
        if (node->type == GUMBO_NODE_DOCUMENT) {
            stack.push_back({node, TagRule{Role::block}, 0});
            return;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) {
            if (is_text_like_node(node) || node->type == GUMBO_NODE_CDATA) actions.text(node);
            return;
        }
        const TagRule rule = node->type == GUMBO_NODE_ELEMENT ? rule_for(node) : TagRule{};
        if (left_out(node, rule.role, options)) return;
        if (actions.open(node, rule)) stack.push_back({node, rule, 0});
        else actions.close(node, rule);
    };
    enter(start);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector* children = children_of(frame.node);
        if (children == nullptr || frame.next >= children->length) {
            const Frame done = frame;
            stack.pop_back();
            if (done.node->type != GUMBO_NODE_DOCUMENT) actions.close(done.node, done.rule);
            continue;
        }
        const GumboNode* child = child_at(children, frame.next++);
        if (child != nullptr) enter(child);
    }
}

}  // namespace velkaron::clean
