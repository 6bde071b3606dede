#pragma once

// Python's `Node`: a plain CPython object holding one node handle and a strong reference to
// its tree's Python object, so a node stays usable after `del tree` or when the tree was a
// temporary. The handle points back at its Python object while that lives (see
// Node::binding_object), so the same parser node gives the same Python object, and the
// object costs one allocation. Instances come only from the functions below: the type cannot
// be called, so an object without a handle never exists. Everything here runs with the
// interpreter lock held; the search workers see only the plain handles.

#include <Python.h>

#include "node/handle_types.h"
#include "node/node.h"

namespace velkaron {

// Creates the type and adds it to the module as `Node`; once, at import.
PyTypeObject* add_node_type(PyObject* module);

PyTypeObject* node_type();

inline bool is_node_object(PyObject* object) { return PyObject_TypeCheck(object, node_type()); }

// The handle an object of the type holds. `object` must be one (is_node_object).
const NodeHandle& handle_of(PyObject* object);

// A new reference to the handle's Python object, created when it has none; None for a null
// handle. Null with a Python error set when memory runs out. The rvalue form moves the handle
// into a new object instead of copying it.
PyObject* node_object(const NodeHandle& handle);
PyObject* node_object(NodeHandle&& handle);

}  // namespace velkaron
