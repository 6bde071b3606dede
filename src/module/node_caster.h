#pragma once

// Converting a Node handle to Python. A handle with a Python object gets that object back,
// found through the handle itself rather than pybind11's instance registry. A newly created
// Python Node also keeps its Tree's Python object alive, so a node stays usable after
// `del tree` or when the tree was a temporary: the Python object's holder shares ownership of
// an anchor that owns the handle and a reference to the tree object, and that unbinds the
// handle from the Python object when it dies. The anchor dies with the Python Node (or with
// the last copy of its holder passed back into a method call: native code never keeps one),
// always with the interpreter lock held; the parallel search workers never see such holders,
// only the cache's plain handles.

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
        if (void* existing = src->binding_object()) {
            return handle(static_cast<PyObject*>(existing)).inc_ref();
        }
        handle created = base::cast(anchored(src), policy, parent);
        if (created) src->set_binding_object(created.ptr());
        return created;
    }

private:
    struct TreeAnchor {
        TreeAnchor(std::shared_ptr<velkaron::Node> handle, object tree_object)
            : handle(std::move(handle)), tree_object(std::move(tree_object)) {}
        ~TreeAnchor() { handle->set_binding_object(nullptr); }
        TreeAnchor(const TreeAnchor&) = delete;
        TreeAnchor& operator=(const TreeAnchor&) = delete;

        const std::shared_ptr<velkaron::Node> handle;
        object tree_object;
    };

    // The tree's Python object, looked up in the registry once per tree: it owns the tree, so
    // it lives exactly as long as the tree does.
    static object tree_object_of(const velkaron::Tree* tree) {
        if (tree == nullptr) return object();
        if (tree->binding_object() == nullptr) {
            static const type_info* tree_type = get_type_info(typeid(velkaron::Tree));
            auto found = reinterpret_steal<object>(
                find_registered_python_instance(const_cast<velkaron::Tree*>(tree), tree_type));
            tree->set_binding_object(found.ptr());
        }
        return reinterpret_borrow<object>(static_cast<PyObject*>(tree->binding_object()));
    }

    static std::shared_ptr<velkaron::Node> anchored(const std::shared_ptr<velkaron::Node>& src) {
        auto anchor = std::make_shared<TreeAnchor>(src, tree_object_of(src->owner()));
        return std::shared_ptr<velkaron::Node>(anchor, src.get());
    }
};

}  // namespace pybind11::detail
