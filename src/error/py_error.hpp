// Conversion of ModrinError values, internal faults and notes into Python exceptions.
#pragma once

#include <Python.h>

#include <string_view>

#include "error/modrin_error.hpp"

namespace modrin::py {

// Sets the exception mapped from the error's kind, with `note` added unless empty, and
// returns nullptr. The binding's one-argument `raise` (lib/raise.hpp) supplies the note.
PyObject *raise(const ModrinError &error, std::string_view note);

// The class of internal faults: derived from BaseException, so `except Exception` does not
// swallow a broken invariant. Created once per interpreter; null only if creation failed.
PyObject *internal_fault_type();

// Sets an internal fault with the message and returns nullptr.
PyObject *raise_internal_fault(const char *message);

// Adds "while processing '<param>'" to the exception being raised.
void add_processing_note(const char *param);

// Sets MemoryError, or an internal fault for any other C++ exception, and returns nullptr;
// no C++ exception crosses into the interpreter.
PyObject *raise_from_current_exception();

}  // namespace modrin::py
