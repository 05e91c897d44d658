// The parts of modrin_array written in Python (_modrin_array): the array API namespace, the
// Matplotlib converter and arrays whose numbers are lazy, each imported on first use.
#include "array/array.hpp"

#include <vector>

namespace modrin::array {

bool is_lazy_values(PyObject *values) {
    // The usual values and operands, answered without an attribute lookup.
    if (PyArray_Check(values) || PyList_Check(values) || PyTuple_Check(values) ||
        PyFloat_Check(values) || PyLong_Check(values) || PyUnicode_Check(values))
        return false;
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

PyObject *lazy_call(const char *function, const char *name, PyObject *self,
                    PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    const Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    const Py_ssize_t total = n + (kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0);
    PyObject *label = PyUnicode_FromString(name);
    if (label == nullptr) return nullptr;
    std::vector<PyObject *> all{label};
    if (self != nullptr) all.push_back(self);
    const auto lead = static_cast<Py_ssize_t>(all.size());
    all.insert(all.end(), args, args + total);
    PyObject *r = support_call("_modrin_array.lazy", function, all.data(), n + lead, kwnames);
    Py_DECREF(label);
    return r;
}

const char *const OPERATOR_NAMES[] = {"add", "sub", "mul", "truediv", "pow"};
const char *const COMPARISON_NAMES[] = {"lt", "le", "eq", "ne", "gt", "ge"};

PyObject *lazy_operator(const char *name, PyObject *left, PyObject *right) {
    PyObject *operands[] = {left, right};
    return lazy_call("operator", name, nullptr, operands, 2, nullptr);
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

bool any_lazy_value(PyObject *dict) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(dict, &pos, &key, &value))
        if (any_lazy(&value, 1)) return true;
    return false;
}

}  // namespace modrin::array
