// format() with a format_spec, and the Jupyter LaTeX hook, built on the classes' own text forms.
#include "error/py_error.hpp"
#include "lib/binder.hpp"
#include "lib/protocols.hpp"

namespace modrin::py {

namespace {

// str(self) is "<number> [<unit>]" with the number in shortest round-trip digits, so reading
// the number back gives exactly the float it shows.
PyObject *formatted(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw,
                    const Signature &sig) {
    PyObject *format_spec;
    if (!bind(sig, args, n, kw, &format_spec)) return nullptr;
    if (!PyUnicode_Check(format_spec)) {
        raise_not_instance(format_spec, "str");
        add_processing_note("format_spec");
        return nullptr;
    }
    PyObject *text = PyObject_Str(self);
    if (text == nullptr || PyUnicode_GET_LENGTH(format_spec) == 0) return text;
    const Py_ssize_t len = PyUnicode_GET_LENGTH(text);
    const Py_ssize_t space = PyUnicode_FindChar(text, ' ', 0, len, 1);
    PyObject *result = nullptr;
    if (space < 0) {
        if (space == -1) raise_internal_fault("text form without a unit");
    } else if (PyObject *digits = PyUnicode_Substring(text, 0, space)) {
        PyObject *number = PyFloat_FromString(digits);
        PyObject *shown = number != nullptr ? PyObject_Format(number, format_spec) : nullptr;
        PyObject *unit = shown != nullptr ? PyUnicode_Substring(text, space, len) : nullptr;
        if (unit != nullptr) result = PyUnicode_Concat(shown, unit);
        Py_XDECREF(unit);
        Py_XDECREF(shown);
        Py_XDECREF(number);
        Py_DECREF(digits);
    }
    Py_DECREF(text);
    return result;
}

}  // namespace

PyObject *Modrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.__format__()", {"format_spec"}, 1};
    return formatted(self, args, n, kw, sig);
}

PyObject *LogModrin_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"LogModrin.__format__()", {"format_spec"}, 1};
    return formatted(self, args, n, kw, sig);
}

PyObject *Modrin_repr_latex(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin._repr_latex_()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    PyObject *latex = PyObject_CallMethod(self, "latex", nullptr);
    if (latex == nullptr) return nullptr;
    PyObject *result = PyUnicode_FromFormat("$%U$", latex);
    Py_DECREF(latex);
    return result;
}

}  // namespace modrin::py
