// The instance layouts of Modrin and LogModrin and their class objects.
#pragma once

#include <Python.h>

#include <atomic>

#include "lib/access.hpp"
#include "unit/collection.hpp"
#include "unit/unit_defs/log_units.hpp"

namespace modrin::py {

struct ModrinObject {
    PyObject_HEAD
    AccessFlag access;
    double value;
    UnitCollection collection;
};

struct LogModrinObject {
    PyObject_HEAD
    AccessFlag access;
    const LogUnitDef *unit;  // a static catalogue row
    double value;
};

// The class objects, created on first use once per process; null with an exception set if
// creation failed.
PyTypeObject *modrin_type();
PyTypeObject *log_modrin_type();

// New instances; null with an exception set on failure.
PyObject *new_modrin(double value, UnitCollection collection);
PyObject *new_log_modrin(const LogUnitDef &unit, double value);

inline bool is_modrin(PyObject *obj) {
    return reinterpret_cast<PyObject *>(Py_TYPE(obj)) ==
           reinterpret_cast<PyObject *>(modrin_type());
}
inline bool is_log_modrin(PyObject *obj) {
    return reinterpret_cast<PyObject *>(Py_TYPE(obj)) ==
           reinterpret_cast<PyObject *>(log_modrin_type());
}

// Creates the class on first use; later calls, from any thread, get the same one.
inline PyTypeObject *type_once(std::atomic<PyTypeObject *> &slot, PyMutex &lock,
                               PyType_Spec &type_spec) {
    if (PyTypeObject *t = slot.load(std::memory_order_acquire)) return t;
    PyMutex_Lock(&lock);
    PyTypeObject *t = slot.load(std::memory_order_relaxed);
    if (t == nullptr) {
        t = reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&type_spec));
        slot.store(t, std::memory_order_release);
    }
    PyMutex_Unlock(&lock);
    return t;
}

// The operator rule both classes share: the forward attempt when the left operand is of the
// class, then the reflected one when the right operand is; `attempt(self, other, reflected,
// not_implemented)` reports NotImplemented through its flag. NotImplemented when neither takes it.
template <class Attempt>
PyObject *dispatch_binary(bool (*is_ours)(PyObject *), PyObject *left, PyObject *right,
                          Attempt &&attempt) {
    bool not_implemented = true;
    if (is_ours(left)) {
        PyObject *r = attempt(left, right, false, not_implemented);
        if (!not_implemented) return r;
    }
    if (is_ours(right)) {
        PyObject *r = attempt(right, left, true, not_implemented);
        if (!not_implemented) return r;
    }
    Py_RETURN_NOTIMPLEMENTED;
}

// Type slots and method tables take untyped function pointers; the casts live here.
template <class F>
void *slot_fn(F *f) {
    return reinterpret_cast<void *>(f);
}
template <class F>
PyCFunction fastcall(F *f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(f));
}

}  // namespace modrin::py
