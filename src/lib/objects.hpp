// The instance layouts of Modrin and LogModrin and their class objects.
#pragma once

#include <Python.h>

#include <type_traits>

#include "error/py_error.hpp"
#include "lib/access.hpp"
#include "unit/shared_units.hpp"
#include "unit/unit_defs/log_units.hpp"

namespace modrin::py {

// The units record's address rides in the access flag's payload: with the collector's header
// an instance takes 48 bytes.
struct ModrinObject {
    PyObject_HEAD
    AccessFlag access;  // payload: the UnitsRecord the instance holds a count on
    double value;
};

struct LogModrinObject {
    PyObject_HEAD
    AccessFlag access;  // payload: the static LogUnitDef row
    double value;
};

inline const LogUnitDef &log_unit_of(const LogModrinObject *obj) {
    return *reinterpret_cast<const LogUnitDef *>(obj->access.payload());
}

// The instance's units, without a count of its own: valid while its access is held.
class HeldUnits {
public:
    explicit HeldUnits(const ModrinObject *obj)
        : units_(SharedUnits::adopt(
              reinterpret_cast<detail::UnitsRecord *>(obj->access.payload()))) {}
    HeldUnits(const HeldUnits &) = delete;
    HeldUnits &operator=(const HeldUnits &) = delete;
    ~HeldUnits() { units_.release(); }
    const SharedUnits &get() const { return units_; }

private:
    SharedUnits units_;
};

// Gives the flag's holder `units` (under exclusive access, or before it is shared), releasing
// the ones it held: for Modrin and ModrinArray, whose flags carry their units records.
void replace_units(AccessFlag &flag, SharedUnits units);

// The class objects, built from their slot tables; the module keeps one pair per interpreter.
PyTypeObject *create_modrin_type();
PyTypeObject *create_log_modrin_type();

// New instances of `type` (the class of an operand, or the class a class method was called
// on, so each interpreter's objects stay of its own classes); null with an exception set.
PyObject *new_modrin(PyTypeObject *type, double value, SharedUnits units);
PyObject *new_log_modrin(PyTypeObject *type, const LogUnitDef &unit, double value);

// The deallocators identify the classes in every interpreter with one comparison.
void modrin_dealloc(PyObject *self) noexcept;
void log_modrin_dealloc(PyObject *self) noexcept;

inline bool is_modrin(PyObject *obj) { return Py_TYPE(obj)->tp_dealloc == &modrin_dealloc; }
inline bool is_log_modrin(PyObject *obj) {
    return Py_TYPE(obj)->tp_dealloc == &log_modrin_dealloc;
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

// Every slot and method enters through here: a C++ exception becomes MemoryError or the
// internal fault, and the caller gets the error value its protocol expects.
template <auto F>
struct Entry;
template <class R, class... A, R (*F)(A...)>
struct Entry<F> {
    static R call(A... args) noexcept {
        try {
            return F(args...);
        } catch (...) {
            raise_from_current_exception();
            if constexpr (std::is_pointer_v<R>)
                return nullptr;
            else
                return -1;
        }
    }
};

// Type slots and method tables take untyped function pointers; the casts live here.
template <auto F>
void *slot_fn() {
    return reinterpret_cast<void *>(&Entry<F>::call);
}
template <auto F>
PyCFunction fastcall() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(&Entry<F>::call));
}
// For functions that cannot throw and must be seen as themselves: the deallocators (is_modrin)
// and PyObject_HashNotImplemented, which CPython recognises to set __hash__ to None.
template <class F>
void *raw_slot(F *f) {
    return reinterpret_cast<void *>(f);
}

}  // namespace modrin::py
