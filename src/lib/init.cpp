// The module's only exported symbol.
#include "lib/module.hpp"

extern "C" __attribute__((visibility("default"))) PyObject *PyInit_modrin(void) {
    return PyModuleDef_Init(modrin::py::module_def());
}
