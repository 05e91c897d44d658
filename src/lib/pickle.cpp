// Pickling and copying: __reduce__ hands out a plain state, and the private classmethod
// _reconstruct rebuilds an object from it. The state may come from anywhere, so every field
// is checked and the collection's derived fields must agree with its units.
#include <cmath>
#include <string>

#include "error/py_error.hpp"
#include "lib/binder.hpp"
#include "lib/objects.hpp"
#include "lib/protocols.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace modrin::py {

namespace {

PyObject *text(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape");
}

PyObject *floats(const BaseExponents &d) {
    return Py_BuildValue("(dddddddd)", d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
}

}  // namespace

PyObject *reduction(PyObject *self, PyObject *args) {
    if (args == nullptr) return nullptr;
    PyObject *rebuild =
        PyObject_GetAttrString(reinterpret_cast<PyObject *>(Py_TYPE(self)), "_reconstruct");
    if (rebuild == nullptr) {
        Py_DECREF(args);
        return nullptr;
    }
    return Py_BuildValue("(NN)", rebuild, args);
}

namespace {

// ---- validation of untrusted state -------------------------------------------------------

// Fails with the parameter's note, as argument binding does.
void refuse(PyObject *exc, const char *param, const char *message) {
    PyErr_SetString(exc, message);
    add_processing_note(param);
}

bool read_float(PyObject *obj, const char *param, double &out) {
    if (!PyFloat_Check(obj)) {
        raise_not_instance(obj, "float");
        add_processing_note(param);
        return false;
    }
    out = PyFloat_AS_DOUBLE(obj);
    return true;
}

// A tuple of exactly `size` items.
bool read_tuple(PyObject *obj, const char *param, Py_ssize_t size) {
    if (!PyTuple_Check(obj)) {
        raise_not_instance(obj, "tuple");
        add_processing_note(param);
        return false;
    }
    if (size >= 0 && PyTuple_GET_SIZE(obj) != size) {
        PyErr_Format(PyExc_TypeError, "expected a tuple of %zd items, got %zd", size,
                     PyTuple_GET_SIZE(obj));
        add_processing_note(param);
        return false;
    }
    return true;
}

bool read_floats(PyObject *obj, const char *param, BaseExponents &out) {
    if (!read_tuple(obj, param, BASE_DIMENSIONS)) return false;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        if (!read_float(PyTuple_GET_ITEM(obj, static_cast<Py_ssize_t>(i)), param, out[i]))
            return false;
    return true;
}

// One unit of the state: (name, symbol, factor, offset, dimensions, exponent).
bool read_unit(PyObject *item, UnitExponents &units) {
    const char *param = "units";
    if (!read_tuple(item, param, 6)) return false;
    auto name = bind_str(PyTuple_GET_ITEM(item, 0), param);
    if (!name) return false;
    auto symbol = bind_str(PyTuple_GET_ITEM(item, 1), param);
    if (!symbol) return false;
    double factor, offset, exponent;
    BaseExponents dims;
    if (!read_float(PyTuple_GET_ITEM(item, 2), param, factor) ||
        !read_float(PyTuple_GET_ITEM(item, 3), param, offset) ||
        !read_floats(PyTuple_GET_ITEM(item, 4), param, dims) ||
        !read_float(PyTuple_GET_ITEM(item, 5), param, exponent))
        return false;
    // Only the two temperature scales carry an offset, and theirs are finite.
    if (!std::isfinite(offset)) {
        refuse(PyExc_ValueError, param, "a unit offset must be finite");
        return false;
    }
    std::string lookup_name = *name;
    SingleUnit unit =
        SingleUnit::make(std::move(*name), std::move(*symbol), factor, offset, dims);
    // A catalogue or prefixed unit comes back as the shared record, as a parse would give it.
    std::optional<SingleUnit> known = search_for_unit_name(lookup_name);
    if (known && *known == unit) unit = std::move(*known);
    if (units.contains(unit)) {
        refuse(PyExc_ValueError, param, "a unit appears twice");
        return false;
    }
    units.append_new(std::move(unit), exponent);
    return true;
}

// A stored derived field against the one the units give: equal, both NaN, or apart by no
// more than the rounding that a different order of the same operations leaves.
bool agrees(double stored, double computed, double tolerance) {
    if (stored == computed || (std::isnan(stored) && std::isnan(computed))) return true;
    if (!std::isfinite(stored) || !std::isfinite(computed)) return false;
    return std::fabs(stored - computed) <=
           tolerance * std::fmax(1.0, std::fmax(std::fabs(stored), std::fabs(computed)));
}

}  // namespace

// ---- Modrin ------------------------------------------------------------------------------

PyObject *Modrin_reduce(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.__reduce__()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    auto *obj = reinterpret_cast<ModrinObject *>(self);
    SharedAccess access(obj->access);
    if (!access) return nullptr;
    const double value = obj->value;
    const SharedUnits held = HeldUnits(obj).get();  // a counted handle: outlives the access
    access.release();
    const UnitCollection &c = held.get();
    PyObject *units = PyTuple_New(static_cast<Py_ssize_t>(c.units.size()));
    if (units == nullptr) return nullptr;
    Py_ssize_t i = 0;
    for (const auto &[unit, exponent] : c.units) {
        PyObject *item =
            Py_BuildValue("(NNddNd)", text(unit.name()), text(unit.symbol()), unit.factor(),
                          unit.offset(), floats(unit.dimensions()), exponent);
        if (item == nullptr) {
            Py_DECREF(units);
            return nullptr;
        }
        PyTuple_SET_ITEM(units, i++, item);
    }
    return reduction(self, Py_BuildValue("(dNNd)", value, units, floats(c.base_exponents),
                                          c.factor));
}

PyObject *Modrin_reconstruct(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{
        "Modrin._reconstruct()", {"value", "units", "base_exponents", "factor"}, 4};
    PyObject *arg[4];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    double value, factor;
    BaseExponents base;
    if (!read_float(arg[0], "value", value) || !read_tuple(arg[1], "units", -1) ||
        !read_floats(arg[2], "base_exponents", base) || !read_float(arg[3], "factor", factor))
        return nullptr;
    UnitExponents units;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(arg[1]); ++i)
        if (!read_unit(PyTuple_GET_ITEM(arg[1], i), units)) return nullptr;
    UnitCollection c = from_single_unit_hashmap(std::move(units));
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
        if (!agrees(base[i], c.base_exponents[i], 1e-9)) {
            refuse(PyExc_ValueError, "base_exponents",
                   "the base exponents do not match the units");
            return nullptr;
        }
    }
    if (!agrees(factor, c.factor, 1e-12)) {
        refuse(PyExc_ValueError, "factor", "the factor does not match the units");
        return nullptr;
    }
    // The stored fields, so the copy converts with exactly the original's factor.
    c.base_exponents = base;
    c.factor = factor;
    return new_modrin(reinterpret_cast<PyTypeObject *>(cls), value, SharedUnits(std::move(c)));
}

// ---- LogModrin ---------------------------------------------------------------------------

PyObject *LogModrin_reduce(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"LogModrin.__reduce__()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    auto *obj = reinterpret_cast<LogModrinObject *>(self);
    SharedAccess access(obj->access);
    if (!access) return nullptr;
    const LogUnitDef &unit = log_unit_of(obj);
    const double value = obj->value;
    access.release();
    return reduction(self, Py_BuildValue("(NNdd)", text(unit.name), text(unit.symbol),
                                          unit.base, value));
}

PyObject *LogModrin_reconstruct(PyObject *cls, PyObject *const *args, Py_ssize_t n,
                                PyObject *kw) {
    static const Signature sig{
        "LogModrin._reconstruct()", {"name", "symbol", "base", "value"}, 4};
    PyObject *arg[4];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    auto name = bind_str(arg[0], "name");
    if (!name) return nullptr;
    auto symbol = bind_str(arg[1], "symbol");
    if (!symbol) return nullptr;
    double base, value;
    if (!read_float(arg[2], "base", base) || !read_float(arg[3], "value", value))
        return nullptr;
    // An instance refers to a catalogue row, so the state must name one exactly.
    const LogUnitDef *unit = search_for_log_unit_name(*name);
    if (unit == nullptr || unit->name != *name || unit->symbol != *symbol ||
        !(unit->base == base)) {
        refuse(PyExc_ValueError, "name", "no logarithmic unit has this name, symbol and base");
        return nullptr;
    }
    return new_log_modrin(reinterpret_cast<PyTypeObject *>(cls), *unit, value);
}

}  // namespace modrin::py
