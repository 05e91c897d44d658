#include "lib/module.hpp"

#include "error/py_error.hpp"
#include "lib/objects.hpp"

namespace modrin::py {

namespace {

// Appends the class to __all__ (creating the list if absent) and sets the attribute.
int register_class(PyObject *module, const char *name, PyTypeObject *type) {
    if (type == nullptr) return -1;
    PyObject *all = nullptr;
    if (PyObject_GetOptionalAttrString(module, "__all__", &all) < 0) return -1;
    if (all == nullptr) {
        all = PyList_New(0);
        if (all == nullptr) return -1;
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            return -1;
        }
    }
    PyObject *text = PyUnicode_FromString(name);
    if (text == nullptr) {
        Py_DECREF(all);
        return -1;
    }
    int appended = PyList_Check(all) ? PyList_Append(all, text) : -1;
    Py_DECREF(text);
    Py_DECREF(all);
    if (appended < 0) {
        PyErr_Clear();
        raise_internal_fault("could not append to __all__");
        return -1;
    }
    return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject *>(type));
}

int modrin_exec(PyObject *module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "modrin's execution step expects a module");
        return -1;
    }
    if (register_class(module, "Modrin", modrin_type()) < 0) return -1;
    if (register_class(module, "LogModrin", log_modrin_type()) < 0) return -1;
    return 0;
}

PyModuleDef_Slot modrin_slots[] = {
    {Py_mod_exec, reinterpret_cast<void *>(modrin_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // The classes are created once per process, so they must not be shared between
    // interpreters with separate object spaces.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef modrin_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "modrin",
    .m_doc = "A Python module, implemented in native code, for physical quantities with units.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = modrin_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

PyModuleDef *module_def() { return &modrin_def; }

}  // namespace modrin::py
