// The binding's raise: a core error as a Python exception, with the catalogue's note.
#pragma once

#include <Python.h>

#include "error/modrin_error.hpp"
#include "error/py_error.hpp"

namespace modrin::py {

// Sets the exception mapped from the error's kind and returns nullptr; a unit text that does
// not parse gets a note naming the factor that failed and its close spellings.
PyObject *raise(const ModrinError &error);

}  // namespace modrin::py
