#pragma once

// Converting a Node handle to Python. pybind11's own conversion already returns the existing
// Python object for a handle that has one. A newly created Python Node also keeps its Tree's
// Python object alive, so a node stays usable after `del tree` or when the tree was a
// temporary: the Python object's holder shares ownership of an anchor that owns both the
// handle and a reference to the tree object. The anchor dies with the Python Node (or with
// the last copy of its holder passed back into a method call), always with the interpreter
// lock held; the parallel workers never see such holders, only the cache's plain handles.

#include <pybind11/pybind11.h>

#include "document/tree.h"
#include "module/initialised_caster.h"
#include "node/node.h"

namespace pybind11::detail {

template <>
class type_caster<std::shared_ptr<velkaron::Node>>
    : public copyable_holder_caster<velkaron::Node, std::shared_ptr<velkaron::Node>> {
    using base = copyable_holder_caster<velkaron::Node, std::shared_ptr<velkaron::Node>>;

public:
    bool load(handle source, bool convert) {
        refuse_uninitialised<velkaron::Node>(source);
        return base::load(source, convert);
    }

    static handle cast(const std::shared_ptr<velkaron::Node>& src, return_value_policy policy,
                       handle parent) {
        if (!src) return none().release();
        static const type_info* node_type = get_type_info(typeid(velkaron::Node));
        if (handle existing = find_registered_python_instance(src.get(), node_type)) {
            return existing;
        }
        return base::cast(anchored(src), policy, parent);
    }

private:
    struct TreeAnchor {
        std::shared_ptr<velkaron::Node> handle;
        object tree_object;
    };

    static std::shared_ptr<velkaron::Node> anchored(const std::shared_ptr<velkaron::Node>& src) {
        static const type_info* tree_type = get_type_info(typeid(velkaron::Tree));
        auto* tree = const_cast<velkaron::Tree*>(src->owner());
        if (tree == nullptr) return src;
        auto tree_object = reinterpret_steal<object>(find_registered_python_instance(tree, tree_type));
        if (!tree_object) return src;
        auto anchor = std::make_shared<TreeAnchor>(TreeAnchor{src, std::move(tree_object)});
        return std::shared_ptr<velkaron::Node>(anchor, src.get());
    }
};

}  // namespace pybind11::detail
