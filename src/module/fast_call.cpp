#include "module/fast_call.h"

#include <typeinfo>

namespace velkaron::fast {

namespace py = pybind11;

bool gather(const Parameters& parameters, PyObject* const* args, std::size_t positional,
            PyObject* kwnames, PyObject** slots) {
    if (positional > parameters.count) return false;
    for (std::size_t i = 0; i < positional; ++i) slots[i] = args[i];
    const Py_ssize_t keywords = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        std::size_t j = 0;
        while (j < parameters.names.size() &&
               PyUnicode_EqualToUTF8(name, parameters.names[j].c_str()) != 1) {
            ++j;
        }
        if (j == parameters.names.size() || slots[j] != nullptr) return false;
        slots[j] = args[positional + static_cast<std::size_t>(k)];
    }
    for (std::size_t j = 0; j < parameters.required; ++j) {
        if (slots[j] == nullptr) return false;
    }
    return true;
}

bool Loader<std::string>::load(PyObject* source) {
    if (source == nullptr) return true;
    if (!PyUnicode_Check(source)) return false;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(source, &size);
    if (data == nullptr) {
        // No UTF-8 form (a lone surrogate): pybind11's conversion says so.
        PyErr_Clear();
        return false;
    }
    value.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool Loader<std::string>::is_default(py::handle value) {
    return PyUnicode_Check(value.ptr()) && PyUnicode_GET_LENGTH(value.ptr()) == 0;
}

bool Loader<AttributeMap>::load(PyObject* source) {
    if (source == nullptr) return true;
    if (!PyDict_CheckExact(source)) return false;
    if (PyDict_GET_SIZE(source) == 0) return true;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    Loader<std::string> name;
    Loader<std::string> text;
    while (PyDict_Next(source, &position, &key, &item)) {
        if (key == nullptr || item == nullptr || !name.load(key) || !text.load(item)) return false;
        filled.insert_or_assign(std::move(name.value), std::move(text.value));
    }
    value = &filled;
    return true;
}

bool Loader<AttributeMap>::is_default(py::handle value) {
    return PyDict_Check(value.ptr()) && PyDict_GET_SIZE(value.ptr()) == 0;
}

const AttributeMap& Loader<AttributeMap>::empty() {
    static const AttributeMap none;
    return none;
}

bool Loader<py::object>::load(PyObject* source) {
    value = source != nullptr ? py::reinterpret_borrow<py::object>(source) : py::none();
    return true;
}

template <>
const Tree* self_of<Tree>(PyObject* source) {
    // A Tree itself is read from pybind11's instance directly; a subclass's instance through
    // its caster, which looks the type up.
    static const py::detail::type_info* info = py::detail::get_type_info(typeid(Tree));
    if (Py_TYPE(source) == info->type) {
        auto* instance = reinterpret_cast<py::detail::instance*>(source);
        if (!instance->simple_layout || !instance->simple_holder_constructed) return nullptr;
        return static_cast<const Tree*>(instance->simple_value_holder[0]);
    }
    py::detail::make_caster<Tree> caster;
    try {
        if (!caster.load(source, true)) return nullptr;
    } catch (const py::error_already_set&) {
        return nullptr;
    } catch (const py::builtin_exception&) {
        // Never initialised: pybind11's path raises the error.
        return nullptr;
    }
    return &py::detail::cast_op<const Tree&>(caster);
}

PyObject* to_fallback(const Entry& entry, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames) {
    const std::size_t count = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf)) +
                              (kwnames != nullptr ? static_cast<std::size_t>(PyTuple_GET_SIZE(kwnames)) : 0);
    std::vector<PyObject*> all{self};
    all.insert(all.end(), args, args + count);
    return PyObject_Vectorcall(entry.fallback.ptr(), all.data(), PyVectorcall_NARGS(nargsf) + 1,
                               kwnames);
}

py::object make_method(py::handle type, PyCFunctionFastWithKeywords function, Entry& entry,
                       py::object fallback, const char* name, Parameters parameters) {
    if (!entry.fallback) {
        entry.parameters = std::move(parameters);
        entry.fallback = fallback;
    } else if (entry.parameters.names != parameters.names) {
        py::pybind11_fail("fast call: one method bound twice with different parameters");
    }
    // Both live as long as the process, like the type the descriptor belongs to.
    auto* doc = new std::string(py::str(py::getattr(fallback, "__doc__", py::str(""))));
    auto* definition = new PyMethodDef{
        name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
        METH_FASTCALL | METH_KEYWORDS, doc->c_str()};
    auto made = py::reinterpret_steal<py::object>(
        PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.ptr()), definition));
    if (!made) throw py::error_already_set();
    return made;
}

}  // namespace velkaron::fast
