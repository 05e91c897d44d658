#include "error/py_error.hpp"

#include <exception>
#include <new>
#include <string>

namespace modrin::py {

namespace {

// Adds the note to the exception being raised; a failed note never replaces the exception.
void add_note(std::string_view text) {
    PyObject *exc = PyErr_GetRaisedException();
    if (exc == nullptr) return;
    PyObject *note = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                          "surrogateescape");
    PyObject *r = note != nullptr ? PyObject_CallMethod(exc, "add_note", "O", note) : nullptr;
    if (r == nullptr) PyErr_Clear();
    Py_XDECREF(r);
    Py_XDECREF(note);
    PyErr_SetRaisedException(exc);
}

}  // namespace

PyObject *raise(const ModrinError &error, std::string_view note) {
    PyObject *type = nullptr;
    switch (error.kind) {
        case ErrorKind::unit_not_found:
        case ErrorKind::log_unit_not_found:
        case ErrorKind::constant_not_found:
            type = PyExc_LookupError;
            break;
        case ErrorKind::incompatible_units:
        case ErrorKind::not_coercible_to_unit:
        case ErrorKind::not_coercible_to_number:
            type = PyExc_TypeError;
            break;
    }
    if (type == nullptr) return raise_internal_fault("unknown error kind");
    std::string text = message(error);
    PyObject *msg = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                         "surrogateescape");
    if (msg == nullptr) return nullptr;
    PyErr_SetObject(type, msg);
    Py_DECREF(msg);
    if (!note.empty()) add_note(note);
    return nullptr;
}

PyObject *internal_fault_type() {
    // Kept in the interpreter's own dict: a class outlives no interpreter, and a second
    // interpreter after Py_Finalize makes its own.
    PyObject *dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (dict == nullptr) return nullptr;
    PyObject *type = nullptr;
    if (PyDict_GetItemStringRef(dict, "modrin.InternalFault", &type) < 0) return nullptr;
    if (type == nullptr) {
        PyObject *made = PyErr_NewExceptionWithDoc(
            "modrin.InternalFault",
            "A state that modrin's design rules out; a bug to report, not a user error.",
            PyExc_BaseException, nullptr);
        if (made == nullptr) return nullptr;
        PyObject *key = PyUnicode_FromString("modrin.InternalFault");
        // Whichever thread stores first wins; the others take its class.
        int r = key == nullptr ? -1 : PyDict_SetDefaultRef(dict, key, made, &type);
        Py_XDECREF(key);
        Py_DECREF(made);
        if (r < 0) return nullptr;
    }
    Py_DECREF(type);  // the interpreter's dict keeps it alive
    return type;
}

PyObject *raise_internal_fault(const char *message) {
    PyObject *type = internal_fault_type();
    if (type != nullptr) PyErr_SetString(type, message);
    return nullptr;
}

void add_processing_note(const char *param) {
    PyObject *exc = PyErr_GetRaisedException();
    if (exc == nullptr) return;
    PyObject *note = PyUnicode_FromFormat("while processing '%s'", param);
    if (note != nullptr) {
        PyObject *r = PyObject_CallMethod(exc, "add_note", "O", note);
        Py_DECREF(note);
        if (r == nullptr) {
            // Keep the original exception; a failed note must not replace it.
            PyErr_Clear();
        }
        Py_XDECREF(r);
    } else {
        PyErr_Clear();
    }
    PyErr_SetRaisedException(exc);
}

PyObject *raise_from_current_exception() {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return PyErr_NoMemory();
    } catch (const std::exception &e) {
        return raise_internal_fault(e.what());
    } catch (...) {
        return raise_internal_fault("unknown C++ exception");
    }
}

}  // namespace modrin::py
