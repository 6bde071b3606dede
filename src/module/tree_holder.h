#pragma once

// The holder of a Python Tree. Freeing a large parse takes milliseconds and touches no Python
// object (Python nodes keep their tree's Python object alive, so none is left when it goes),
// so the interpreter lock is released meanwhile and other threads keep running.

#include <pybind11/pybind11.h>

#include <memory>

#include "document/tree.h"

namespace velkaron {

struct TreeDeleter {
    void operator()(Tree* tree) const {
        if (PyGILState_Check() == 0 || Py_IsFinalizing() != 0) {
            delete tree;
            return;
        }
        pybind11::gil_scoped_release released;
        delete tree;
    }
};

using TreeHolder = std::unique_ptr<Tree, TreeDeleter>;

}  // namespace velkaron
