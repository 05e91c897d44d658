#include <atomic>
#include <new>
#include <utility>

#include "lib/objects.hpp"

namespace modrin::py {

namespace {

void Modrin_dealloc(PyObject *self) {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    std::destroy_at(&reinterpret_cast<ModrinObject *>(self)->collection);
    type->tp_free(self);
    Py_DECREF(type);
}

// Instances hold no Python references: only the (heap) type is visited.
int Modrin_traverse(PyObject *self, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int Modrin_clear(PyObject *) { return 0; }

PyMethodDef Modrin_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot Modrin_slots[] = {
    {Py_tp_doc, const_cast<char *>("Unit! yippee")},
    {Py_tp_dealloc, slot_fn(Modrin_dealloc)},
    {Py_tp_traverse, slot_fn(Modrin_traverse)},
    {Py_tp_clear, slot_fn(Modrin_clear)},
    {Py_tp_hash, slot_fn(PyObject_HashNotImplemented)},
    {Py_tp_methods, Modrin_methods},
    {0, nullptr},
};

PyType_Spec Modrin_spec = {
    .name = "modrin.Modrin",
    .basicsize = sizeof(ModrinObject),
    .itemsize = 0,
    // No BASETYPE (not subclassable) and no tp_new (not instantiable).
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
             Py_TPFLAGS_IMMUTABLETYPE,
    .slots = Modrin_slots,
};

std::atomic<PyTypeObject *> type_object{nullptr};
PyMutex type_lock{};

}  // namespace

PyTypeObject *modrin_type() { return type_once(type_object, type_lock, Modrin_spec); }

PyObject *new_modrin(double value, UnitCollection collection) {
    PyTypeObject *type = modrin_type();
    if (type == nullptr) return nullptr;
    PyObject *self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    auto *obj = reinterpret_cast<ModrinObject *>(self);
    std::construct_at(&obj->access);
    obj->value = value;
    std::construct_at(&obj->collection, std::move(collection));
    return self;
}

}  // namespace modrin::py
