// The module definition of modrin.
#pragma once

#include <Python.h>

namespace modrin::py {

PyModuleDef *module_def();

}  // namespace modrin::py
