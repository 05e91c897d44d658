// Operands of array operations: Python objects read as numbers with units.
#include <cmath>
#include <string_view>

#include "array/array.hpp"
#include "lib/coerce.hpp"
#include "unit/parse_cache.hpp"

namespace modrin::array {

namespace {

bool numeric_kind(char kind) { return kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f'; }

PyObject *refuse_dtype(PyArray_Descr *descr) {
    PyObject *text = PyObject_Str(reinterpret_cast<PyObject *>(descr));
    if (text == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError,
                 "ModrinArray holds bool, int or float numbers, not %U", text);
    Py_DECREF(text);
    return nullptr;
}

// The float64 form that the loops read: aligned, in the machine's byte order.
PyArrayObject *as_doubles(PyArrayObject *a, bool copy) {
    int flags = NPY_ARRAY_ALIGNED | NPY_ARRAY_NOTSWAPPED | NPY_ARRAY_FORCECAST |
                NPY_ARRAY_ENSUREARRAY;
    if (copy) flags |= NPY_ARRAY_ENSURECOPY;
    return reinterpret_cast<PyArrayObject *>(PyArray_FromAny(
        reinterpret_cast<PyObject *>(a), PyArray_DescrFromType(NPY_DOUBLE), 0, 0, flags, nullptr));
}

}  // namespace

PyArrayObject *numbers_of(PyObject *values, bool copy) {
    PyArrayObject *a = nullptr;
    if (PyArray_Check(values)) {
        Py_INCREF(values);
        a = reinterpret_cast<PyArrayObject *>(values);
    } else {
        a = reinterpret_cast<PyArrayObject *>(PyArray_FromAny(values, nullptr, 0, 0, 0, nullptr));
        if (a == nullptr) return nullptr;
        copy = false;  // already a new array
    }
    PyArrayObject *r = nullptr;
    if (numeric_kind(PyArray_DESCR(a)->kind))
        r = as_doubles(a, copy);
    else
        refuse_dtype(PyArray_DESCR(a));
    Py_DECREF(a);
    return r;
}

Read read_operand(PyObject *x, Arg &out) {
    out.source = x;
    if (is_array(x)) {
        if (is_lazy(x)) {
            PyErr_SetString(PyExc_TypeError,
                            "this operation takes a ModrinArray in memory: compute() the lazy one");
            return Read::failed;
        }
        if (!out.hold.acquire(as_array(x)->access)) return Read::failed;
        out.units = held_units(as_array(x));
        Py_INCREF(as_array(x)->values);
        out.array = values_of(x);
        out.quantity = true;
        return Read::ok;
    }
    if (py::is_modrin(x)) {
        auto *obj = reinterpret_cast<py::ModrinObject *>(x);
        py::SharedAccess access(obj->access);
        if (!access) return Read::failed;
        out.scalar = obj->value;
        out.units = py::HeldUnits(obj).get();
        out.quantity = true;
        return Read::ok;
    }
    if (py::is_log_modrin(x)) {
        return py::coerce_to_number(x, out.scalar, py::OnFailure::raise) ? Read::ok
                                                                          : Read::failed;
    }
    if (PyFloat_Check(x)) {
        out.scalar = PyFloat_AS_DOUBLE(x);
        return Read::ok;
    }
    if (PyLong_Check(x)) {  // within 32 bits, as Modrin takes integers
        return py::coerce_to_number(x, out.scalar, py::OnFailure::discard) ? Read::ok
                                                                           : Read::refused;
    }
    if (PyUnicode_Check(x)) {  // a unit text is one of those units, as for Modrin
        std::string_view text;
        if (!py::utf8_of(x, text)) return Read::failed;
        out.units = from_unit_name_cached(text);
        if (!out.units) return Read::refused;
        out.scalar = 1.0;
        return Read::ok;
    }
    if (PyArray_IsScalar(x, Generic)) {
        PyArray_Descr *d = PyArray_DescrFromScalar(x);
        if (d == nullptr) return Read::failed;
        const bool numeric = numeric_kind(d->kind);
        Py_DECREF(d);
        if (!numeric) return Read::refused;
        out.scalar = PyFloat_AsDouble(x);
        return out.scalar == -1.0 && PyErr_Occurred() ? Read::failed : Read::ok;
    }
    if (PyArray_Check(x) || PyList_Check(x) || PyTuple_Check(x)) {
        PyArrayObject *a = PyArray_Check(x)
                               ? (Py_INCREF(x), reinterpret_cast<PyArrayObject *>(x))
                               : reinterpret_cast<PyArrayObject *>(
                                     PyArray_FromAny(x, nullptr, 0, 0, 0, nullptr));
        if (a == nullptr) return Read::failed;
        const bool numeric = numeric_kind(PyArray_DESCR(a)->kind);
        if (numeric) out.array = as_doubles(a, false);
        Py_DECREF(a);
        if (!numeric) return Read::refused;
        return out.array == nullptr ? Read::failed : Read::ok;
    }
    return Read::refused;
}

}  // namespace modrin::array
