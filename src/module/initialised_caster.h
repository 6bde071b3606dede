#pragma once

// Refusing instances that were never initialised. `Tree.__new__(Tree)` (or `Node.__new__`)
// makes an instance that never went through `__init__` and holds no C++ object; pybind11
// would hand a method uninitialised memory in its place. Every conversion of a Tree or a Node
// from Python, for `self` and for arguments alike, checks first and raises ValueError.

#include <pybind11/pybind11.h>

#include <typeinfo>

#include "document/tree.h"
#include "node/node.h"

namespace velkaron {

inline const char* never_initialised_message(const Tree*) {
    return "this Tree was never initialised: create it with Tree(html)";
}

inline const char* never_initialised_message(const Node*) {
    return "this Node was never initialised: nodes come from a Tree";
}

}  // namespace velkaron

namespace pybind11::detail {

template <typename T>
void refuse_uninitialised(handle source) {
    static const type_info* info = get_type_info(typeid(T));
    if (info == nullptr || !isinstance(source, reinterpret_cast<PyObject*>(info->type))) return;
    value_and_holder slot =
        reinterpret_cast<instance*>(source.ptr())->get_value_and_holder(info, false);
    // A missing value pointer is no answer: pybind11 allocates one, uninitialised, on load.
    if (slot.inst != nullptr && !slot.holder_constructed()) {
        throw value_error(velkaron::never_initialised_message(static_cast<const T*>(nullptr)));
    }
}

template <>
class type_caster<velkaron::Tree> : public type_caster_base<velkaron::Tree> {
public:
    bool load(handle source, bool convert) {
        refuse_uninitialised<velkaron::Tree>(source);
        return type_caster_base<velkaron::Tree>::load(source, convert);
    }
};

template <>
class type_caster<velkaron::Node> : public type_caster_base<velkaron::Node> {
public:
    bool load(handle source, bool convert) {
        refuse_uninitialised<velkaron::Node>(source);
        return type_caster_base<velkaron::Node>::load(source, convert);
    }
};

}  // namespace pybind11::detail
