// A node's name and attributes as Python sees them: the real tag name, and attribute names as
// HTML output writes them.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "node/node.h"

namespace velkaron::module {

namespace py = pybind11;

py::str tag_of(const Node& node);
py::dict attrs_of(const Node& node);
py::object attribute_or(const Node& node, const std::string& wanted, const py::object& fallback);
py::str attribute_or_key_error(const Node& node, const std::string& name);

}  // namespace velkaron::module
