#include <atomic>

#include "lib/objects.hpp"

namespace modrin::py {

namespace {

void LogModrin_dealloc(PyObject *self) {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    type->tp_free(self);
    Py_DECREF(type);
}

int LogModrin_traverse(PyObject *self, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int LogModrin_clear(PyObject *) { return 0; }

PyMethodDef LogModrin_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot LogModrin_slots[] = {
    {Py_tp_dealloc, slot_fn(LogModrin_dealloc)},
    {Py_tp_traverse, slot_fn(LogModrin_traverse)},
    {Py_tp_clear, slot_fn(LogModrin_clear)},
    {Py_tp_hash, slot_fn(PyObject_HashNotImplemented)},
    {Py_tp_methods, LogModrin_methods},
    {0, nullptr},
};

PyType_Spec LogModrin_spec = {
    .name = "modrin.LogModrin",
    .basicsize = sizeof(LogModrinObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
             Py_TPFLAGS_IMMUTABLETYPE,
    .slots = LogModrin_slots,
};

std::atomic<PyTypeObject *> type_object{nullptr};
PyMutex type_lock{};

}  // namespace

PyTypeObject *log_modrin_type() { return type_once(type_object, type_lock, LogModrin_spec); }

PyObject *new_log_modrin(const LogUnitDef &unit, double value) {
    PyTypeObject *type = log_modrin_type();
    if (type == nullptr) return nullptr;
    // Instances hold no references, so they are never tracked: the collector has nothing to
    // find in them, and allocation skips zero-filling and linking them into a generation.
    auto *obj = PyObject_GC_New(LogModrinObject, type);
    if (obj == nullptr) return nullptr;
    PyObject *self = reinterpret_cast<PyObject *>(obj);
    std::construct_at(&obj->access);
    obj->unit = &unit;
    obj->value = value;
    return self;
}

}  // namespace modrin::py
