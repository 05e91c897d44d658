// Methods for Python protocols around the two classes: format specifications and Jupyter's
// LaTeX hook.
#pragma once

#include <Python.h>

namespace modrin::py {

// __format__ of both classes: the number str() shows, formatted as a float, then its unit.
PyObject *Modrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);
PyObject *LogModrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);

// _repr_latex_: "$" + latex() + "$".
PyObject *Modrin_repr_latex(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);

}  // namespace modrin::py
