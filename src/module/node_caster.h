#pragma once

// Converting a Node handle to Python. pybind11's own conversion already returns the existing
// Python object for a handle that has one; on top of that, every newly created Python Node
// keeps its Tree's Python object alive, so a node stays usable after `del tree` or when the
// tree was a temporary. The tie is made once per Python Node object and released with it.

#include <pybind11/pybind11.h>

#include "document/tree.h"
#include "node/node.h"

namespace pybind11::detail {

template <>
class type_caster<std::shared_ptr<velkaron::Node>>
    : public copyable_holder_caster<velkaron::Node, std::shared_ptr<velkaron::Node>> {
    using base = copyable_holder_caster<velkaron::Node, std::shared_ptr<velkaron::Node>>;

public:
    static handle cast(const std::shared_ptr<velkaron::Node>& src, return_value_policy policy,
                       handle parent) {
        if (!src) return none().release();
        static const type_info* node_type = get_type_info(typeid(velkaron::Node));
        if (handle existing = find_registered_python_instance(src.get(), node_type)) {
            return existing;
        }
        handle created = base::cast(src, policy, parent);
        if (created && src->owner() != nullptr) tie_to_tree(created, src->owner());
        return created;
    }

private:
    static void tie_to_tree(handle node_object, const velkaron::Tree* tree) {
        static const type_info* tree_type = get_type_info(typeid(velkaron::Tree));
        auto tree_object = reinterpret_steal<object>(
            find_registered_python_instance(const_cast<velkaron::Tree*>(tree), tree_type));
        if (tree_object) keep_alive_impl(node_object, tree_object);
    }
};

}  // namespace pybind11::detail
