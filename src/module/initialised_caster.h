#pragma once

// Refusing instances that were never initialised. `Tree.__new__(Tree)` makes an instance that
// never went through `__init__` and holds no C++ object; pybind11 would hand a method
// uninitialised memory in its place. Every conversion of a Tree from Python, for `self` and
// for arguments alike, checks first and raises ValueError. (Node's type cannot make such an
// instance: see module/node_type.h.)

#include <pybind11/pybind11.h>

#include <typeinfo>

#include "document/tree.h"

namespace velkaron {

inline const char* never_initialised_message(const Tree*) {
    return "this Tree was never initialised: create it with Tree(html)";
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

// The base caster, preceded by the refusal above.
template <typename T>
class initialised_caster : public type_caster_base<T> {
public:
    bool load(handle source, bool convert) {
        // No method takes a Tree that may be None; a property's getter called on None would
        // otherwise run on a null tree.
        if (source.is_none()) return false;
        refuse_uninitialised<T>(source);
        return type_caster_base<T>::load(source, convert);
    }
};

template <>
class type_caster<velkaron::Tree> : public initialised_caster<velkaron::Tree> {};

}  // namespace pybind11::detail
