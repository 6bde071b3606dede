#pragma once

// The one pre-order walk every subsystem shares: an explicit stack (so document depth is
// bounded by memory, not by the native call stack), children pushed last to first so the
// first child is visited next. Callers choose which nodes are descended into and what a
// visit does; a visit returning true ends the walk.

#include <cstddef>
#include <vector>

#include "node/gumbo_access.h"

namespace velkaron {

template <typename Descend, typename Visit>
void walk_preorder(GumboNode* start, std::size_t initial_capacity, Descend&& descend,
                   Visit&& visit) {
    std::vector<GumboNode*> stack;
    stack.reserve(initial_capacity);
    stack.push_back(start);
    while (!stack.empty()) {
        GumboNode* node = stack.back();
        stack.pop_back();
        if (node == nullptr) continue;
        if (visit(node)) return;
        const GumboVector* children = descend(node) ? children_of(node) : nullptr;
        if (children == nullptr) continue;
        for (unsigned int i = children->length; i > 0; --i) {
            stack.push_back(child_at(children, i - 1));
        }
    }
}

// Visits the element nodes at and below `start`, entering elements only: the walk of the
// search strategies and of both indexes. Text, comments, the document node and templates are
// neither visited nor entered.
template <typename Visit>
void walk_elements(GumboNode* start, std::size_t initial_capacity, Visit&& visit) {
    walk_preorder(
        start, initial_capacity, [](const GumboNode* node) { return is_element_node(node); },
        [&](GumboNode* node) { return is_element_node(node) && visit(node); });
}

// Visits the elements at and below `start` in document order, entering elements only, and the
// text and whitespace runs among their children: open(element) ahead of its subtree, run(node)
// for each run, close(element) after the subtree, passed(node) for any other child (comments,
// templates). The index build's walk.
template <typename Open, typename Run, typename Close, typename Passed>
void walk_elements_and_runs(GumboNode* start, std::size_t initial_capacity, Open&& open, Run&& run,
                            Close&& close, Passed&& passed) {
    if (!is_element_node(start)) return;
    struct Frame {
        GumboNode* element;
        unsigned int next_child;
    };
    std::vector<Frame> stack;
    stack.reserve(initial_capacity);
    open(start);
    stack.push_back(Frame{start, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector& children = frame.element->v.element.children;
        if (frame.next_child >= children.length) {
            close(frame.element);
            stack.pop_back();
            continue;
        }
        GumboNode* child = child_at(&children, frame.next_child++);
        if (is_element_node(child)) {
            open(child);
            stack.push_back(Frame{child, 0});
        } else if (is_text_like_node(child) && child->v.text.text != nullptr) {
            run(child);
        } else if (child != nullptr) {
            passed(child);
        }
    }
}

// Every element at and below `start` that passes `test`, in document order.
template <typename Test>
std::vector<GumboNode*> collect_elements(GumboNode* start, std::size_t initial_capacity,
                                         Test&& test) {
    std::vector<GumboNode*> matches;
    matches.reserve(64);
    walk_elements(start, initial_capacity, [&](GumboNode* element) {
        if (test(element)) matches.push_back(element);
        return false;
    });
    return matches;
}

// The first element at and below `start` that passes `test`, or null.
template <typename Test>
GumboNode* first_element(GumboNode* start, std::size_t initial_capacity, Test&& test) {
    GumboNode* found = nullptr;
    walk_elements(start, initial_capacity, [&](GumboNode* element) {
        if (!test(element)) return false;
        found = element;
        return true;
    });
    return found;
}

}  // namespace velkaron
