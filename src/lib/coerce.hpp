// Operand coercion: Python objects to quantities (unit-coercible) and to plain numbers.
#pragma once

#include <Python.h>

#include <string>

#include <optional>

#include "lib/objects.hpp"
#include "unit/shared_units.hpp"

namespace modrin::py {

// How a refusal is reported: raised (methods), or only reported as false with no exception
// left set (operators, which answer NotImplemented and never show the refusal's text).
enum class OnFailure { raise, discard };

// A quantity operand: a Modrin stays under shared access while the operand lives, so its
// units are read in place; a text keeps its parsed units here; a number is unitless.
struct Operand {
    double value = 0.0;
    const SharedUnits *units = nullptr;
    SharedHold hold;
    std::optional<HeldUnits> held;
    SharedUnits parsed;
};

// A Modrin gives its number and units, a LogModrin its ratio, a float or a 32-bit int its
// value, a str its parsed units with the number 1. False on refusal.
bool coerce_to_quantity(PyObject *x, Operand &out, OnFailure on_failure);

// A float, a 32-bit int, or a LogModrin's ratio. False on refusal.
bool coerce_to_number(PyObject *x, double &out, OnFailure on_failure);

// pow's third operand: absent, None or a number; it is checked for its type, never used.
// False (no exception left set) for anything else, which makes the operator NotImplemented.
inline bool modulus_accepted(PyObject *modulus) {
    double ignored = 0.0;
    return modulus == nullptr || modulus == Py_None ||
           coerce_to_number(modulus, ignored, OnFailure::discard);
}

// str(x) as UTF-8 for refusal messages: lone surrogates become U+FFFD, and when str() itself
// raises, that goes to the unraisable hook and a placeholder names the type.
std::string object_text(PyObject *x);

// The text of a Python str as UTF-8, or nothing with an exception set.
bool utf8_of(PyObject *str, std::string_view &out);

}  // namespace modrin::py
