#include "module/node_type.h"

#include <pybind11/pybind11.h>

#include <cstddef>
#include <new>
#include <typeinfo>
#include <utility>
#include <vector>

#include "document/reuse_marks.h"
#include "document/tree.h"

namespace velkaron {

namespace {

struct NodeObject {
    PyObject_HEAD
    NodeHandle handle;
    // Owns the tree the handle points into; null for a node of no tree.
    PyObject* tree_object;
    PyObject* weak_references;
};

PyTypeObject* the_type = nullptr;

// Objects of nodes that died, kept for the next ones up to a bound: a search result makes and
// drops thousands at a time, and Python's allocator costs a fifth of each node's time.
// Touched only with the interpreter lock held.
constexpr std::size_t spare_limit = 8192;
std::vector<NodeObject*> spare_objects;

NodeObject* new_object() {
    NodeObject* node;
    if (!spare_objects.empty()) {
        node = spare_objects.back();
        spare_objects.pop_back();
        mark_in_use(node, sizeof(NodeObject));
    } else {
        node = static_cast<NodeObject*>(PyObject_Malloc(sizeof(NodeObject)));
        if (node == nullptr) return nullptr;
    }
    PyObject_Init(reinterpret_cast<PyObject*>(node), the_type);
    return node;
}

void free_object(NodeObject* node) {
    if (spare_objects.size() < spare_limit) {
        spare_objects.push_back(node);
        mark_waiting(node, sizeof(NodeObject));
    } else {
        PyObject_Free(node);
    }
}

NodeObject* as_node(PyObject* object) { return reinterpret_cast<NodeObject*>(object); }

void node_dealloc(PyObject* self) {
    NodeObject* node = as_node(self);
    // Unbound first: a weak reference's callback may ask for this node again, and must get a
    // new object rather than this dying one.
    if (node->handle->binding_object() == self) node->handle->set_binding_object(nullptr);
    if (node->weak_references != nullptr) PyObject_ClearWeakRefs(self);
    PyObject* tree = node->tree_object;
    // The tree's object keeps the tree alive until the last line here. A handle held elsewhere
    // (parked already, or by another search result) stays alive without parking.
    if (tree != nullptr && node->handle.use_count() == 1) {
        node->handle->owner()->park(std::move(node->handle));
    }
    node->handle.~NodeHandle();
    PyTypeObject* type = Py_TYPE(self);
    free_object(node);
    Py_DECREF(type);
    // Last: this may free the tree, which the handle pointed into.
    Py_XDECREF(tree);
}

PyMemberDef node_members[] = {
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(NodeObject, weak_references), Py_READONLY,
     nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

// Nodes come only from a tree; said in the words the binding library uses for its own types.
PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) {
    PyErr_Format(PyExc_TypeError, "%s: No constructor defined!", type->tp_name);
    return nullptr;
}

PyType_Slot node_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(node_dealloc)},
    {Py_tp_members, node_members},
    {0, nullptr},
};

// The tree's Python object (borrowed), null for a node of no tree. Looked up in pybind11's
// registry once per tree: the Python object owns the tree, so it lives exactly as long as the
// tree does.
PyObject* tree_object_of(const Tree* tree) {
    if (tree == nullptr) return nullptr;
    if (tree->binding_object() == nullptr) {
        static const pybind11::detail::type_info* tree_type =
            pybind11::detail::get_type_info(typeid(Tree));
        auto found = pybind11::reinterpret_steal<pybind11::object>(
            pybind11::detail::find_registered_python_instance(const_cast<Tree*>(tree), tree_type));
        tree->set_binding_object(found.ptr());
    }
    return static_cast<PyObject*>(tree->binding_object());
}

template <typename Handle>
PyObject* wrapped(Handle&& handle) {
    if (handle == nullptr) return Py_NewRef(Py_None);
    if (void* bound = handle->binding_object()) return Py_NewRef(static_cast<PyObject*>(bound));
    PyObject* tree = tree_object_of(handle->owner());
    NodeObject* node = new_object();
    if (node == nullptr) return PyErr_NoMemory();
    const Node* target = handle.get();
    new (&node->handle) NodeHandle(std::forward<Handle>(handle));
    node->tree_object = Py_XNewRef(tree);
    node->weak_references = nullptr;
    target->set_binding_object(node);
    return reinterpret_cast<PyObject*>(node);
}

}  // namespace

PyTypeObject* add_node_type(PyObject* module) {
    // Not a base type: nodes come only from a tree, so a subclass could never have instances.
    static PyType_Spec layout{"_velkaron.Node", sizeof(NodeObject), 0,
                              Py_TPFLAGS_DEFAULT, node_slots};
    PyObject* type = PyType_FromModuleAndSpec(module, &layout, nullptr);
    if (type == nullptr || PyModule_AddObjectRef(module, "Node", type) < 0) {
        Py_XDECREF(type);
        throw pybind11::error_already_set();
    }
    // Kept for the process's life, as the module keeps it.
    the_type = reinterpret_cast<PyTypeObject*>(type);
    return the_type;
}

PyTypeObject* node_type() { return the_type; }

const NodeHandle& handle_of(PyObject* object) { return as_node(object)->handle; }

PyObject* node_object(const NodeHandle& handle) { return wrapped(handle); }

PyObject* node_object(NodeHandle&& handle) { return wrapped(std::move(handle)); }

}  // namespace velkaron
