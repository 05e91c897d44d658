#include "lib/module.hpp"

#include "array/hooks.hpp"
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

// Stores each class method already bound to its class, so `Modrin.unit` reads the stored
// method instead of binding a new one per call. Neither class can be subclassed, so the bound
// class is the one every lookup names; the stored object is what the descriptor would give.
int prebind_class_methods(PyObject *type) {
    if (type == nullptr) return -1;
    PyObject *dict = PyType_GetDict(reinterpret_cast<PyTypeObject *>(type));
    if (dict == nullptr) return -1;
    PyObject *names = PyList_New(0);
    PyObject *key = nullptr, *value = nullptr;
    Py_ssize_t pos = 0;
    int r = names == nullptr ? -1 : 0;
    while (r == 0 && PyDict_Next(dict, &pos, &key, &value))
        if (Py_IS_TYPE(value, &PyClassMethodDescr_Type)) r = PyList_Append(names, key);
    for (Py_ssize_t i = 0; r == 0 && i < PyList_GET_SIZE(names); ++i) {
        PyObject *name = PyList_GET_ITEM(names, i);
        PyObject *bound = PyObject_GetAttr(type, name);
        r = bound == nullptr ? -1 : PyDict_SetItem(dict, name, bound);
        Py_XDECREF(bound);
    }
    Py_XDECREF(names);
    Py_DECREF(dict);
    PyType_Modified(reinterpret_cast<PyTypeObject *>(type));
    return r;
}

// The interpreter's pair of classes as a new reference to a tuple. They live in the
// interpreter's own dict: a re-import reuses them, and finalisation frees them with the
// interpreter, so a later interpreter in the same process makes its own.
PyObject *classes_of_interpreter() {
    PyObject *dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (dict == nullptr) return nullptr;
    PyObject *classes = nullptr;
    if (PyDict_GetItemStringRef(dict, "modrin.classes", &classes) != 0) return classes;
    PyObject *modrin = reinterpret_cast<PyObject *>(create_modrin_type());
    PyObject *log_modrin =
        modrin == nullptr ? nullptr : reinterpret_cast<PyObject *>(create_log_modrin_type());
    PyObject *made = prebind_class_methods(modrin) < 0 || prebind_class_methods(log_modrin) < 0
                         ? nullptr
                         : PyTuple_Pack(2, modrin, log_modrin);
    Py_XDECREF(modrin);
    Py_XDECREF(log_modrin);
    if (made == nullptr) return nullptr;
    PyObject *key = PyUnicode_FromString("modrin.classes");
    // Whichever thread stores first wins; the others take its classes.
    int r = key == nullptr ? -1 : PyDict_SetDefaultRef(dict, key, made, &classes);
    Py_XDECREF(key);
    Py_DECREF(made);
    return r < 0 ? nullptr : classes;
}

// modrin_array's entry point finds its definition here, so this library exports nothing else.
int offer_array_module() {
    PyObject *dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (dict == nullptr) return -1;
    PyObject *capsule = PyCapsule_New(array::module_def(), "modrin.array_module.v1", nullptr);
    if (capsule == nullptr) return -1;
    const int r = PyDict_SetItemString(dict, "modrin.array_module.v1", capsule);
    Py_DECREF(capsule);
    return r;
}

int modrin_exec(PyObject *module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "modrin's execution step expects a module");
        return -1;
    }
    PyObject *classes = classes_of_interpreter();
    if (classes == nullptr) return -1;
    auto type_at = [&](Py_ssize_t i) {
        return reinterpret_cast<PyTypeObject *>(PyTuple_GET_ITEM(classes, i));
    };
    int r = register_class(module, "Modrin", type_at(0));
    if (r == 0) r = register_class(module, "LogModrin", type_at(1));
    Py_DECREF(classes);
    return r < 0 ? r : offer_array_module();
}

PyModuleDef_Slot modrin_slots[] = {
    {Py_mod_exec, reinterpret_cast<void *>(modrin_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // Interpreters one after another each get their own classes; side by side is untested.
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
