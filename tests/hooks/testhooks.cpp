// Test-only module: drives the argument binder, the access flag and the fault type directly.
#include <Python.h>

#include <string>

#include "error/py_error.hpp"
#include "lib/access.hpp"
#include "lib/binder.hpp"
#include "lib/raise.hpp"
#include "unit/unit_defs/units.hpp"

namespace {

using modrin::py::Signature;

// Returns the bound arguments as a tuple, with "<default>" for omitted optional ones.
PyObject *bound_tuple(const Signature &sig, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    PyObject *out[8];
    if (!modrin::py::bind(sig, args, n, kw, out)) return nullptr;
    PyObject *t = PyTuple_New(static_cast<Py_ssize_t>(sig.params.size()));
    if (t == nullptr) return nullptr;
    for (std::size_t i = 0; i < sig.params.size(); ++i) {
        PyObject *v = out[i] != nullptr ? Py_NewRef(out[i]) : PyUnicode_FromString("<default>");
        if (v == nullptr) {
            Py_DECREF(t);
            return nullptr;
        }
        PyTuple_SET_ITEM(t, static_cast<Py_ssize_t>(i), v);
    }
    return t;
}

PyObject *bind_unit(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.unit()", {"unit_name_or_symbol"}, 1};
    return bound_tuple(sig, args, n, kw);
}
PyObject *bind_custom(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.custom()", {"name", "abbr", "definition"}, 3};
    return bound_tuple(sig, args, n, kw);
}
PyObject *bind_as_number(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.as_number()", {"other", "scale"}, 0};
    return bound_tuple(sig, args, n, kw);
}
PyObject *bind_empty(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.empty()", {}, 0};
    return bound_tuple(sig, args, n, kw);
}

// Binds one str parameter named "unit_name_or_symbol" and echoes its text.
PyObject *bind_text(PyObject *, PyObject *arg) {
    auto text = modrin::py::bind_str(arg, "unit_name_or_symbol");
    if (!text) return nullptr;
    return PyUnicode_FromStringAndSize(text->data(), static_cast<Py_ssize_t>(text->size()));
}

// Runs a sequence of "s" (take shared), "x" (take exclusive), "S"/"X" (release) on one flag
// and returns the list of outcomes: True, or the refusal's message.
PyObject *access_sequence(PyObject *, PyObject *arg) {
    auto ops = modrin::py::bind_str(arg, "ops");
    if (!ops) return nullptr;
    modrin::py::AccessFlag flag;
    PyObject *results = PyList_New(0);
    if (results == nullptr) return nullptr;
    for (char op : *ops) {
        PyObject *r = nullptr;
        if (op == 'S') {
            flag.release_shared();
            r = Py_NewRef(Py_None);
        } else if (op == 'X') {
            flag.release_exclusive();
            r = Py_NewRef(Py_None);
        } else {
            bool ok = op == 's' ? flag.try_shared() : flag.try_exclusive();
            if (ok) {
                r = Py_NewRef(Py_True);
            } else {
                // The guards set the refusal's own message.
                if (op == 's')
                    modrin::py::SharedAccess guard(flag);
                else
                    modrin::py::ExclusiveAccess guard(flag);
                PyObject *exc = PyErr_GetRaisedException();
                r = PyObject_Str(exc);
                Py_XDECREF(exc);
            }
        }
        if (r == nullptr || PyList_Append(results, r) < 0) {
            Py_XDECREF(r);
            Py_DECREF(results);
            return nullptr;
        }
        Py_DECREF(r);
    }
    return results;
}

PyObject *raise_fault(PyObject *, PyObject *) {
    return modrin::py::raise_internal_fault("invalid compareop");
}

PyObject *raise_error(PyObject *, PyObject *args) {
    int kind = 0;
    const char *first = nullptr;
    const char *second = "";
    if (!PyArg_ParseTuple(args, "is|s", &kind, &first, &second)) return nullptr;
    return modrin::py::raise(
        modrin::ModrinError{static_cast<modrin::ErrorKind>(kind), first, second});
}

// The catalogue's unit names in table order, for tests that hold every row to an oracle.
PyObject *unit_names(PyObject *, PyObject *) {
    PyObject *names = PyList_New(0);
    if (names == nullptr) return nullptr;
    for (const modrin::UnitDef &row : modrin::UNITS) {
        PyObject *name =
            PyUnicode_FromStringAndSize(row.name.data(), static_cast<Py_ssize_t>(row.name.size()));
        if (name == nullptr || PyList_Append(names, name) < 0) {
            Py_XDECREF(name);
            Py_DECREF(names);
            return nullptr;
        }
        Py_DECREF(name);
    }
    return names;
}

PyMethodDef methods[] = {
    {"bind_unit", reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(bind_unit)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"bind_custom", reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(bind_custom)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"bind_as_number", reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(bind_as_number)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"bind_empty", reinterpret_cast<PyCFunction>(reinterpret_cast<void *>(bind_empty)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"bind_text", bind_text, METH_O, nullptr},
    {"access_sequence", access_sequence, METH_O, nullptr},
    {"raise_fault", raise_fault, METH_NOARGS, nullptr},
    {"unit_names", unit_names, METH_NOARGS, nullptr},
    {"raise_error", raise_error, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_modrin_testhooks",
    .m_doc = nullptr,
    .m_size = 0,
    .m_methods = methods,
    .m_slots = slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) PyObject *PyInit__modrin_testhooks(void) {
    return PyModuleDef_Init(&def);
}
