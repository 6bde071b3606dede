#pragma once

// Keeping pybind11's type objects from ending the process.
//
// Instances of its shared base type (`Tree.__mro__[1]`) and of Python classes derived from it
// alone have no C++ type behind them, and pybind11's allocator throws from inside `tp_new`,
// where nothing catches it. The base's `tp_new` is wrapped once so those calls raise
// TypeError; every type with a C++ class behind it goes on to pybind11's own allocator.
//
// `__class__` assignment between types of the same memory layout would let one C++ class be
// read as another (or an instance be freed as the bare base); Python refuses it when either
// type is immutable, so the base and our classes are sealed.

#include <pybind11/pybind11.h>

namespace velkaron {

inline newfunc pybind11_base_new = nullptr;

extern "C" inline PyObject* refuse_bare_base(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (pybind11::detail::all_type_info(type).empty()) {
        PyErr_Format(PyExc_TypeError, "cannot create '%s' instances: no C++ class stands behind it",
                     type->tp_name);
        return nullptr;
    }
    return pybind11_base_new(type, args, kwargs);
}

// Every type made from the base shares the wrapped allocator: Python's `__new__` refuses a
// class whose allocator differs from its base's. Types made later inherit it.
inline void share_refusal(PyTypeObject* type) {
    if (type->tp_new != pybind11_base_new) return;
    type->tp_new = refuse_bare_base;
    PyType_Modified(type);
    for (const pybind11::handle derived : pybind11::handle(reinterpret_cast<PyObject*>(type))
                                              .attr("__subclasses__")()) {
        share_refusal(reinterpret_cast<PyTypeObject*>(derived.ptr()));
    }
}

// Also freezes the type's attributes: call it once every method is in place.
inline void seal(PyTypeObject* type) {
    type->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
    PyType_Modified(type);
}

inline void seal(const pybind11::handle& type) { seal(reinterpret_cast<PyTypeObject*>(type.ptr())); }

inline void guard_bare_base() {
    auto* base = reinterpret_cast<PyTypeObject*>(pybind11::detail::get_internals().instance_base);
    if (base->tp_new == refuse_bare_base) return;
    pybind11_base_new = base->tp_new;
    share_refusal(base);
    seal(base);
}

}  // namespace velkaron
