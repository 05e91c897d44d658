// Methods for Python protocols around the two classes: format() with a format_spec, Jupyter's
// LaTeX hook, and pickling and copying through a validating reconstructor.
#pragma once

#include <Python.h>

namespace modrin::py {

// __format__ of both classes: the number str() shows, formatted as a float, then its unit.
PyObject *Modrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);
PyObject *LogModrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);

// _repr_latex_: "$" + latex() + "$".
PyObject *Modrin_repr_latex(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);

// (cls._reconstruct, args) for __reduce__, the callable looked up on the instance's class;
// takes the reference to args, which may be null after a failure.
PyObject *reduction(PyObject *self, PyObject *args);

// __reduce__ gives (cls._reconstruct, state); _reconstruct treats the state as untrusted.
PyObject *Modrin_reduce(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);
PyObject *Modrin_reconstruct(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw);
PyObject *LogModrin_reduce(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw);
PyObject *LogModrin_reconstruct(PyObject *cls, PyObject *const *args, Py_ssize_t n,
                                PyObject *kw);

}  // namespace modrin::py
