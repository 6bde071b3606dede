#pragma once

// Adding methods and properties to a Python type pybind11 did not create, with the calls of
// pybind11's class_: each method is a pybind11 function bound as an instance method, so its
// signature, docstring and argument errors read as they do on a pybind11 class.

#include <pybind11/pybind11.h>

#include <utility>

#include "module/fast_call.h"

namespace velkaron {

class NodeClass {
public:
    explicit NodeClass(PyTypeObject* type) : type(reinterpret_cast<PyObject*>(type)) {}

    template <typename Function, typename... Extra>
    NodeClass& def(const char* name, Function&& function, const Extra&... extra) {
        namespace py = pybind11;
        py::cpp_function method(std::forward<Function>(function), py::name(name),
                                py::is_method(type), py::sibling(py::getattr(type, name, py::none())),
                                extra...);
        py::setattr(type, name, method);
        return *this;
    }

    // The same through the short call path (module/fast_call.h).
    template <auto Method, typename... Extra>
    NodeClass& def_fast(const char* name, const Extra&... extra) {
        fast::def<Method>(*this, name, extra...);
        return *this;
    }

    template <auto Getter>
    NodeClass& def_property_fast(const char* name, const char* doc) {
        fast::def_property<Getter>(*this, name, doc);
        return *this;
    }

    operator pybind11::handle() const { return type; }

    template <typename Getter>
    NodeClass& def_property_readonly(const char* name, Getter&& getter, const char* doc) {
        namespace py = pybind11;
        py::cpp_function get(std::forward<Getter>(getter), py::is_method(type));
        static const py::handle property = reinterpret_cast<PyObject*>(&PyProperty_Type);
        py::setattr(type, name, property(get, py::none(), py::none(), doc));
        return *this;
    }

private:
    pybind11::handle type;
};

}  // namespace velkaron
