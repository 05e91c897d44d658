// The parts of modrin_array written in Python (_modrin_array): the array API namespace, the
// Matplotlib converter and arrays whose numbers are lazy, each imported on first use.
#include "array/array.hpp"

#include <vector>

namespace modrin::array {

bool is_lazy_values(PyObject *values) {
    if (PyArray_Check(values)) return false;
    PyObject *graph = nullptr;
    if (PyObject_GetOptionalAttrString(values, "__dask_graph__", &graph) <= 0) {
        PyErr_Clear();  // not a collection, whatever stopped the lookup
        return false;
    }
    Py_DECREF(graph);
    return true;
}

PyObject *support_call(const char *module, const char *function, PyObject *const *args,
                       Py_ssize_t nargs, PyObject *kwnames) {
    PyObject *mod = PyImport_ImportModule(module);
    if (mod == nullptr) return nullptr;
    PyObject *f = PyObject_GetAttrString(mod, function);
    Py_DECREF(mod);
    if (f == nullptr) return nullptr;
    PyObject *r = PyObject_Vectorcall(f, args, static_cast<size_t>(nargs), kwnames);
    Py_DECREF(f);
    return r;
}

PyObject *lazy_call(const char *function, const char *name, PyObject *const *args,
                    Py_ssize_t nargsf, PyObject *kwnames) {
    const Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    const Py_ssize_t total = n + (kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0);
    PyObject *label = PyUnicode_FromString(name);
    if (label == nullptr) return nullptr;
    std::vector<PyObject *> all(static_cast<std::size_t>(total) + 1);
    all[0] = label;
    for (Py_ssize_t i = 0; i < total; ++i) all[static_cast<std::size_t>(i) + 1] = args[i];
    PyObject *r = support_call("_modrin_array.lazy", function, all.data(), n + 1, kwnames);
    Py_DECREF(label);
    return r;
}

bool any_lazy(PyObject *const *objects, Py_ssize_t n) {
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject *x = objects[i];
        if (is_lazy_array(x)) return true;
        if ((PyList_Check(x) || PyTuple_Check(x)) &&
            any_lazy(PySequence_Fast_ITEMS(x), PySequence_Fast_GET_SIZE(x)))
            return true;
    }
    return false;
}

}  // namespace modrin::array
