#include "error/py_error.hpp"

#include <exception>
#include <new>
#include <string>

namespace modrin::py {

PyObject *raise(const ModrinError &error) {
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
    std::string text = message(error);
    PyObject *msg = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                         "surrogateescape");
    if (msg == nullptr) return nullptr;
    PyErr_SetObject(type, msg);
    Py_DECREF(msg);
    return nullptr;
}

namespace {

PyMutex fault_lock{};
PyObject *fault_type = nullptr;

}  // namespace

PyObject *internal_fault_type() {
    PyMutex_Lock(&fault_lock);
    if (fault_type == nullptr)
        fault_type = PyErr_NewExceptionWithDoc(
            "modrin.InternalFault",
            "A state that modrin's design rules out; a bug to report, not a user error.",
            PyExc_BaseException, nullptr);
    PyObject *type = fault_type;
    PyMutex_Unlock(&fault_lock);
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
