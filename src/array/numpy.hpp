// NumPy's C API for the array binding. The API is a table of pointers that modrin_array's
// execution step fills in; nothing here runs when only modrin is imported.
#pragma once

#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define NPY_TARGET_VERSION NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL modrin_numpy_api
#ifndef MODRIN_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
