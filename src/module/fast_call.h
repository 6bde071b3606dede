#pragma once

// A short call path for the methods users call in loops. pybind11's dispatch costs more than
// a short search itself (an argument vector, a caster per argument, a std::map built even for
// an empty attrs): a fast function takes the common calls (str and dict[str, str] arguments,
// by position or keyword, defaults omitted) straight to the C++ method. Every other call goes
// to the method's pybind11 function, unchanged, which converts what it can and raises the
// TypeError it always raised: both paths give the same answers and the same errors. The fast
// function carries the pybind11 function's __doc__, so signatures read as before.

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "document/tree.h"
#include "module/initialised_caster.h"
#include "module/node_caster.h"
#include "node/handle_types.h"

namespace velkaron::fast {

// Parameters after self, in order: their keyword names (none: positional only) and how many
// leading ones are required.
struct Parameters {
    std::vector<std::string> names;
    std::size_t count = 0;
    std::size_t required = 0;
};

constexpr std::size_t max_parameters = 4;

// Positional, then keyword arguments into `slots` (null: omitted). False for a call the fast
// path leaves to pybind11: too many arguments, an unknown or repeated keyword, a required one
// missing.
bool gather(const Parameters& parameters, PyObject* const* args, std::size_t positional,
            PyObject* kwnames, PyObject** slots);

// Argument conversions. `load` false: not a form the fast path takes (no Python error set).
template <typename T>
struct Loader;

template <>
struct Loader<std::string> {
    std::string value;
    bool load(PyObject* source);
    static bool is_default(pybind11::handle value);
};

template <>
struct Loader<AttributeMap> {
    AttributeMap filled;
    const AttributeMap* value = &empty();
    bool load(PyObject* source);
    static bool is_default(pybind11::handle value);
    static const AttributeMap& empty();
};

template <>
struct Loader<pybind11::object> {
    pybind11::object value;
    bool load(PyObject* source);
    static bool is_default(pybind11::handle value) { return value.is_none(); }
};

// `self` as the C++ object; null when it is not one the fast path takes.
template <typename Self>
const Self* self_of(PyObject* source);

template <>
inline const Node* self_of<Node>(PyObject* source) {
    return is_node_object(source) ? handle_of(source).get() : nullptr;
}

template <>
const Tree* self_of<Tree>(PyObject* source);

// What a method is: member function or free function taking the object first.
template <typename Function>
struct Signature;

template <typename R, typename C, typename... A>
struct Signature<R (C::*)(A...) const> {
    using Self = C;
    using Arguments = std::tuple<std::decay_t<A>...>;
    template <auto Method, typename... Values>
    static R call(const C& self, Values&&... values) { return (self.*Method)(values...); }
};

template <typename R, typename C, typename... A>
struct Signature<R (*)(const C&, A...)> {
    using Self = C;
    using Arguments = std::tuple<std::decay_t<A>...>;
    template <auto Method, typename... Values>
    static R call(const C& self, Values&&... values) { return Method(self, values...); }
};

template <typename T>
const auto& value_of(const Loader<T>& loader) {
    if constexpr (std::is_same_v<T, AttributeMap>) {
        return *loader.value;
    } else {
        return loader.value;
    }
}

template <typename Result>
PyObject* to_python(Result&& result) {
    using Caster = pybind11::detail::make_caster<std::decay_t<Result>>;
    return Caster::cast(std::forward<Result>(result), pybind11::return_value_policy::move,
                        pybind11::handle()).ptr();
}

// A fast function's state: its parameters and the pybind11 function that takes the rest.
// One per C++ method, set when the method is first bound, kept for the process's life.
struct Entry {
    Parameters parameters;
    pybind11::object fallback;
};

template <auto Method>
Entry& entry_of() {
    static Entry* entry = new Entry;
    return *entry;
}

PyObject* to_fallback(const Entry& entry, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames);

template <auto Method, typename Signature, std::size_t... I>
PyObject* call_with(const Entry& entry, PyObject* object, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames, std::index_sequence<I...>) {
    using Arguments = typename Signature::Arguments;
    const std::size_t positional = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    PyObject* slots[max_parameters + 1] = {};
    const auto* self = self_of<typename Signature::Self>(object);
    if (self == nullptr || !gather(entry.parameters, args, positional, kwnames, slots)) {
        return to_fallback(entry, object, args, nargsf, kwnames);
    }
    std::tuple<Loader<std::tuple_element_t<I, Arguments>>...> loaders;
    if (!(std::get<I>(loaders).load(slots[I]) && ...)) {
        return to_fallback(entry, object, args, nargsf, kwnames);
    }
    try {
        return to_python(Signature::template call<Method>(*self, value_of(std::get<I>(loaders))...));
    } catch (...) {
        pybind11::detail::try_translate_exceptions();
        return nullptr;
    }
}

template <auto Method>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    using S = Signature<decltype(Method)>;
    constexpr std::size_t count = std::tuple_size_v<typename S::Arguments>;
    static_assert(count <= max_parameters);
    return call_with<Method, S>(entry_of<Method>(), self, args, nargsf, kwnames,
                                std::make_index_sequence<count>());
}

// Checks that every default of `fallback` is the one the loaders assume for an omitted
// argument, so an omitted argument means the same on both paths.
template <typename Arguments, std::size_t... I>
void check_defaults(const std::vector<pybind11::object>& defaults, std::index_sequence<I...>) {
    const bool same = ((defaults[I].ptr() == nullptr ||
                        Loader<std::tuple_element_t<I, Arguments>>::is_default(defaults[I])) && ...);
    if (!same) pybind11::pybind11_fail("fast call: a default the fast path does not assume");
}

// A method descriptor of `type` calling `function`, documented as `fallback` is. Its entry
// gets `parameters` and `fallback` unless an earlier name for the same method set them.
pybind11::object make_method(pybind11::handle type, PyCFunctionFastWithKeywords function,
                             Entry& entry, pybind11::object fallback, const char* name,
                             Parameters parameters);

// The parameters pybind11 was given for the method: a py::arg has a name and no default, a
// py::arg_v a default too. `defaults` gets each parameter's default (null: required).
template <typename... Extra>
Parameters parameters_of(std::size_t count, std::vector<pybind11::object>& defaults,
                         const Extra&... extra) {
    Parameters parameters;
    parameters.count = count;
    defaults.assign(count, pybind11::object());
    auto note = [&](const auto& one) {
        using T = std::decay_t<decltype(one)>;
        if constexpr (std::is_same_v<T, pybind11::arg_v>) {
            defaults[parameters.names.size()] = one.value;
            parameters.names.emplace_back(one.name);
        } else if constexpr (std::is_same_v<T, pybind11::arg>) {
            parameters.names.emplace_back(one.name);
            ++parameters.required;
        }
    };
    (note(extra), ...);
    if (parameters.names.empty()) parameters.required = count;
    if (!parameters.names.empty() && parameters.names.size() != count) {
        pybind11::pybind11_fail("fast call: every parameter needs a name, or none");
    }
    return parameters;
}

template <auto Method, typename... Extra>
pybind11::object function_for(pybind11::handle type, pybind11::object fallback, const char* name,
                              const Extra&... extra) {
    using Arguments = typename Signature<decltype(Method)>::Arguments;
    constexpr std::size_t count = std::tuple_size_v<Arguments>;
    std::vector<pybind11::object> defaults;
    Parameters parameters = parameters_of(count, defaults, extra...);
    check_defaults<Arguments>(defaults, std::make_index_sequence<count>());
    return make_method(type, &method<Method>, entry_of<Method>(), std::move(fallback), name,
                       std::move(parameters));
}

}  // namespace velkaron::fast

namespace velkaron::fast {

// `cls.def(name, Method, extra...)` (pybind11's function, kept as the fallback), then the fast
// function in its place as a method descriptor: the interpreter calls those without making a
// bound method first.
template <auto Method, typename Class, typename... Extra>
void def(Class& cls, const char* name, const Extra&... extra) {
    cls.def(name, Method, extra...);
    pybind11::handle type = cls;
    // On the class an instance method reads as its function.
    pybind11::object fallback = pybind11::getattr(type, name);
    pybind11::setattr(type, name, function_for<Method>(type, std::move(fallback), name, extra...));
}

// The same for a read-only property: its getter becomes the fast function.
template <auto Getter, typename Class>
void def_property(Class& cls, const char* name, const char* doc) {
    cls.def_property_readonly(name, Getter, doc);
    pybind11::handle type = cls;
    pybind11::object property = type.attr("__dict__")[name];
    pybind11::object fast = function_for<Getter>(type, property.attr("fget"), name);
    static const pybind11::handle make = reinterpret_cast<PyObject*>(&PyProperty_Type);
    pybind11::setattr(type, name, make(fast, pybind11::none(), pybind11::none(), doc));
}

}  // namespace velkaron::fast
