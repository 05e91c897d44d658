// What modrin's own classes need from the array binding, without NumPy's headers.
#pragma once

#include <Python.h>

namespace modrin::array {

// modrin_array's module definition; modrin's execution step hands it to the entry point of
// modrin_array through the interpreter's state.
PyModuleDef *module_def();

bool is_modrin_array(PyObject *obj);

// Modrin.__array_ufunc__: NumPy ufuncs on Modrin scalars and plain arrays.
PyObject *modrin_array_ufunc(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                             PyObject *kwnames);

// q <op> a with the Modrin q on the left, compared as Modrin compares: a converted into q's
// units.
PyObject *compare_modrin_with_array(PyObject *modrin, PyObject *array, int op);

}  // namespace modrin::array
