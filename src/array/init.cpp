// modrin_array's entry point. The module itself lives in modrin's library: importing modrin
// first leaves its definition in the interpreter's state, so both modules share one copy of
// the unit records, memos and catalogue.
#include <Python.h>

extern "C" __attribute__((visibility("default"))) PyObject *PyInit_modrin_array(void) {
    PyObject *modrin = PyImport_ImportModule("modrin");
    if (modrin == nullptr) return nullptr;
    Py_DECREF(modrin);
    PyObject *dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (dict == nullptr) return nullptr;
    PyObject *capsule = nullptr;
    if (PyDict_GetItemStringRef(dict, "modrin.array_module.v1", &capsule) <= 0) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_ImportError,
                            "this modrin build does not provide modrin_array's definition");
        return nullptr;
    }
    // The definition is static in modrin's library, which stays loaded with the interpreter.
    auto *def =
        static_cast<PyModuleDef *>(PyCapsule_GetPointer(capsule, "modrin.array_module.v1"));
    Py_DECREF(capsule);
    if (def == nullptr) return nullptr;
    return PyModuleDef_Init(def);
}
