// The modrin_array module: NumPy's C API, the ModrinArray class and the NumPy objects it
// recognises, kept in the module's state.
#define MODRIN_NUMPY_IMPORT
#include "array/array.hpp"
#include "array/hooks.hpp"

#include <cstring>

namespace modrin::array {

namespace {


State *module_state(PyObject *module) { return static_cast<State *>(PyModule_GetState(module)); }

// numpy.<path>, the path dotted within a submodule; a new reference, or null.
PyObject *numpy_attribute(PyObject *numpy, const char *path) {
    const char *dot = std::strchr(path, '.');
    if (dot == nullptr) return PyObject_GetAttrString(numpy, path);
    PyObject *name = PyUnicode_FromStringAndSize(path, dot - path);
    if (name == nullptr) return nullptr;
    PyObject *sub = PyObject_GetAttr(numpy, name);
    Py_DECREF(name);
    if (sub == nullptr) return nullptr;
    PyObject *r = PyObject_GetAttrString(sub, dot + 1);
    Py_DECREF(sub);
    return r;
}

// The function NumPy's dispatch wraps, so a call on plain numbers skips a second dispatch.
PyObject *implementation_of(PyObject *function) {
    PyObject *impl = nullptr;
    if (PyObject_GetOptionalAttrString(function, "_implementation", &impl) < 0) return nullptr;
    return impl != nullptr ? impl : Py_NewRef(function);
}

int array_exec(PyObject *module) {
    if (PyArray_ImportNumPyAPI() < 0) return -1;
    State *st = module_state(module);
    PyObject *numpy = PyImport_ImportModule("numpy");
    if (numpy == nullptr) return -1;
    int r = cache_ufuncs(st, numpy);
    for (int i = 0; r == 0 && i < FUNCTION_COUNT; ++i) {
        if ((st->functions[i] = numpy_attribute(numpy, function_name(i))) == nullptr ||
            (st->implementations[i] = implementation_of(st->functions[i])) == nullptr)
            r = -1;
    }
    if (r == 0 && (st->array2string = PyObject_GetAttrString(numpy, "array2string")) == nullptr)
        r = -1;
    if (r == 0 && (st->copyto = PyObject_GetAttrString(numpy, "copyto")) == nullptr) r = -1;
    Py_DECREF(numpy);
    if (r < 0) return -1;

    PyObject *modrin = PyImport_ImportModule("modrin");
    if (modrin == nullptr) return -1;
    st->modrin_type = reinterpret_cast<PyTypeObject *>(PyObject_GetAttrString(modrin, "Modrin"));
    Py_DECREF(modrin);
    if (st->modrin_type == nullptr) return -1;

    st->array_type = create_array_type(module);
    if (st->array_type == nullptr) return -1;
    if (PyModule_AddObjectRef(module, "ModrinArray",
                              reinterpret_cast<PyObject *>(st->array_type)) < 0)
        return -1;
    PyObject *all = Py_BuildValue("[ssss]", "ModrinArray", "assert_allclose", "assert_array_equal",
                                  "matplotlib_support");
    return all == nullptr ? -1 : PyModule_Add(module, "__all__", all);
}

int array_traverse(PyObject *module, visitproc visit, void *arg) {
    State *st = module_state(module);
    if (st == nullptr) return 0;
    Py_VISIT(st->array_type);
    Py_VISIT(st->modrin_type);
    for (PyObject *u : st->ufuncs) Py_VISIT(u);
    for (PyObject *f : st->functions) Py_VISIT(f);
    for (PyObject *f : st->implementations) Py_VISIT(f);
    Py_VISIT(st->array2string);
    Py_VISIT(st->copyto);
    return 0;
}

int array_clear(PyObject *module) {
    State *st = module_state(module);
    if (st == nullptr) return 0;
    Py_CLEAR(st->array_type);
    Py_CLEAR(st->modrin_type);
    for (PyObject *&u : st->ufuncs) Py_CLEAR(u);
    for (PyObject *&f : st->functions) Py_CLEAR(f);
    for (PyObject *&f : st->implementations) Py_CLEAR(f);
    Py_CLEAR(st->array2string);
    Py_CLEAR(st->copyto);
    return 0;
}

void array_free(void *module) { array_clear(static_cast<PyObject *>(module)); }

PyModuleDef_Slot array_slots[] = {
    {Py_mod_exec, reinterpret_cast<void *>(array_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    // NumPy itself loads once per process.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef array_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "modrin_array",
    .m_doc = "NumPy arrays of physical quantities: modrin's units on float64 arrays.",
    .m_size = sizeof(State),
    .m_methods = testing_methods,
    .m_slots = array_slots,
    .m_traverse = array_traverse,
    .m_clear = array_clear,
    .m_free = array_free,
};

}  // namespace

PyModuleDef *module_def() { return &array_def; }

State *state_of(PyTypeObject *array_type) {
    return static_cast<State *>(PyType_GetModuleState(array_type));
}

State *current_state() {
    PyObject *module = PyImport_ImportModule("modrin_array");
    if (module == nullptr) return nullptr;
    State *st = PyModule_GetDef(module) == &array_def ? module_state(module) : nullptr;
    Py_DECREF(module);  // sys.modules keeps it
    if (st == nullptr) PyErr_SetString(PyExc_ImportError, "modrin_array is not modrin's own");
    return st;
}

bool is_modrin_array(PyObject *obj) { return is_array(obj); }

}  // namespace modrin::array
