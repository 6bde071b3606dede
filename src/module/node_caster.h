#pragma once

// pybind11's conversions between Python's Node (module/node_type.h) and the native handle:
// a handle argument or result, a list of them, and `self` as `const Node&`. Their names make
// every signature read `_velkaron.Node`.

#include <pybind11/pybind11.h>

#include <type_traits>
#include <utility>

#include "module/node_type.h"
#include "node/node.h"

namespace pybind11::detail {

// A handle argument accepts a Node, or None (a null handle) where conversion is allowed.
template <>
class type_caster<velkaron::NodeHandle> {
public:
    PYBIND11_TYPE_CASTER(velkaron::NodeHandle, const_name("_velkaron.Node"));

    bool load(handle source, bool convert) {
        if (source.is_none()) {
            value = nullptr;
            return convert;
        }
        if (!velkaron::is_node_object(source.ptr())) return false;
        value = velkaron::handle_of(source.ptr());
        return true;
    }

    template <typename Handle>
    static handle cast(Handle&& src, return_value_policy, handle) {
        return velkaron::node_object(std::forward<Handle>(src));
    }
};

template <>
class type_caster<velkaron::Node> {
public:
    static constexpr auto name = const_name("_velkaron.Node");

    bool load(handle source, bool) {
        if (!velkaron::is_node_object(source.ptr())) return false;
        node = velkaron::handle_of(source.ptr()).get();
        return true;
    }

    template <typename T>
    using cast_op_type = std::conditional_t<std::is_pointer<std::remove_reference_t<T>>::value,
                                            const velkaron::Node*, const velkaron::Node&>;
    operator const velkaron::Node*() const { return node; }
    operator const velkaron::Node&() const { return *node; }

private:
    const velkaron::Node* node = nullptr;
};

// Search results become a list in one pass, each handle moved into its new Python object.
template <>
class type_caster<velkaron::NodeList> {
public:
    static constexpr auto name = const_name("list[_velkaron.Node]");

    template <typename List>
    static handle cast(List&& handles, return_value_policy, handle) {
        object list = reinterpret_steal<object>(PyList_New(static_cast<Py_ssize_t>(handles.size())));
        if (!list) return handle();
        Py_ssize_t i = 0;
        for (auto& node : handles) {
            PyObject* item;
            if constexpr (std::is_rvalue_reference<List&&>::value) {
                item = velkaron::node_object(std::move(node));
            } else {
                item = velkaron::node_object(node);
            }
            if (item == nullptr) return handle();
            PyList_SET_ITEM(list.ptr(), i++, item);
        }
        return list.release();
    }
};

}  // namespace pybind11::detail
