// The ModrinArray class: construction, the NumPy array protocols, indexing, operators,
// conversions, reductions, text forms and pickling.
#include <cmath>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "array/array.hpp"

#include "lib/binder.hpp"
#include "lib/coerce.hpp"
#include "lib/protocols.hpp"
#include "lib/raise.hpp"
#include "unit/parse_cache.hpp"
#include "unit/render.hpp"

namespace modrin::array {

namespace {

PyObject *as_object(PyArrayObject *a) { return reinterpret_cast<PyObject *>(a); }

State *state(PyObject *self) { return state_of(Py_TYPE(self)); }

PyObject *new_quantity(PyObject *self, double value, SharedUnits units) {
    return py::new_modrin(state(self)->modrin_type, value, std::move(units));
}

// A result of NumPy's on the instance's numbers, given units: a ModrinArray for an array, a
// Modrin for a number. `form`, when given, moves the numbers into its target.
PyObject *with_units(PyObject *self, PyObject *result, const SharedUnits &units,
                     const Derived *form = nullptr) {
    if (result == nullptr) return nullptr;
    SharedUnits target = form != nullptr && form->target ? form->target : units;
    PyObject *out;
    if (is_lazy(self)) {  // what a Dask array gives is lazy too
        out = new_array(Py_TYPE(self), result, target);
        Py_DECREF(result);
        return out;
    }
    if (PyArray_Check(result)) {
        PyArrayObject *numbers = numbers_of(result, false);
        Py_DECREF(result);
        if (numbers == nullptr) return nullptr;
        if (form != nullptr && form->conversion.kind != Conversion::Kind::same) {
            Arg x;
            x.array = numbers;
            const ConversionPlan plan{form->conversion, units, target};
            numbers = converted(plan, x);
            if (numbers == nullptr) return nullptr;
        }
        out = new_array(Py_TYPE(self), as_object(numbers), std::move(target));
        Py_DECREF(numbers);
        return out;
    }
    const double v = PyFloat_AsDouble(result);
    Py_DECREF(result);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    return new_quantity(self, form != nullptr ? form->conversion.apply(v) : v, std::move(target));
}

// values.<name>(args...) on the instance's numbers.
PyObject *call_on_values(PyObject *self, const char *name, PyObject *const *args,
                         Py_ssize_t nargsf, PyObject *kwnames) {
    PyObject *method = PyObject_GetAttrString(as_array(self)->values, name);
    if (method == nullptr) return nullptr;
    PyObject *r = PyObject_Vectorcall(method, args, PyVectorcall_NARGS(nargsf), kwnames);
    Py_DECREF(method);
    return r;
}

// Keywords that would hand NumPy a place or a start value without units.
bool refuse_keywords(const char *method, PyObject *kwnames, std::initializer_list<const char *> names) {
    if (kwnames == nullptr) return true;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i)
        for (const char *name : names)
            if (PyUnicode_EqualToUTF8(PyTuple_GET_ITEM(kwnames, i), name)) {
                PyErr_Format(PyExc_TypeError, "ModrinArray.%s() does not take %s=", method, name);
                return false;
            }
    return true;
}

// ---- lifecycle -------------------------------------------------------------------------------

int Array_traverse(PyObject *self, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_array(self)->values);
    return 0;
}

// ---- construction ----------------------------------------------------------------------------

// The units (and number) a `unit` argument names: None, a unit text, or a Modrin.
bool read_unit_argument(PyObject *unit, SharedUnits &units, double &number) {
    number = 1.0;
    if (unit == nullptr || unit == Py_None) {
        units = SharedUnits::unitless();
        return true;
    }
    if (PyUnicode_Check(unit)) {
        std::string_view text;
        if (!py::utf8_of(unit, text)) return false;
        units = from_unit_name_cached(text);
        if (!units) {
            py::raise(unit_not_found(std::string(text)));
            return false;
        }
        return true;
    }
    if (py::is_modrin(unit)) {
        Arg q;
        if (read_operand(unit, q) != Read::ok) return false;
        units = q.units;
        number = q.scalar;
        return true;
    }
    py::raise_not_instance(unit, "str");
    py::add_processing_note("unit");
    return false;
}

// An object array of Modrins and plain numbers, in the units of its first element.
PyArrayObject *from_objects(PyArrayObject *objects, SharedUnits &units) {
    PyArrayObject *flat = reinterpret_cast<PyArrayObject *>(
        PyArray_FromAny(as_object(objects), nullptr, 0, 0, NPY_ARRAY_C_CONTIGUOUS, nullptr));
    if (flat == nullptr) return nullptr;
    auto *r = reinterpret_cast<PyArrayObject *>(
        PyArray_SimpleNew(PyArray_NDIM(objects), PyArray_DIMS(objects), NPY_DOUBLE));
    if (r == nullptr) {
        Py_DECREF(flat);
        return nullptr;
    }
    auto **items = static_cast<PyObject **>(PyArray_DATA(flat));
    auto *out = static_cast<double *>(PyArray_DATA(r));
    const npy_intp n = PyArray_SIZE(flat);
    bool ok = true;
    for (npy_intp i = 0; ok && i < n; ++i) {
        Arg item;
        const Read read = py::is_modrin(items[i]) || PyFloat_Check(items[i]) ||
                                  PyLong_Check(items[i])
                              ? read_operand(items[i], item)
                              : Read::refused;
        if (read == Read::refused) {
            PyErr_Format(PyExc_TypeError,
                         "ModrinArray holds bool, int or float numbers or Modrins, not object "
                         "(a %T among them)",
                         items[i]);
        }
        if (read != Read::ok) {
            ok = false;
            break;
        }
        if (i == 0) units = item.units;
        Result<double> v = convert(item.scalar, item.units, units);
        if (!v) {
            py::raise(v.error());
            ok = false;
        } else {
            out[i] = *v;
        }
    }
    Py_DECREF(flat);
    if (!ok) {
        Py_DECREF(r);
        return nullptr;
    }
    return r;
}

PyObject *Array_new(PyTypeObject *type, PyObject *args, PyObject *kwargs) {
    static const char *keywords[] = {"values", "unit", "copy", nullptr};
    PyObject *values = nullptr, *unit = nullptr, *copy_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$O:ModrinArray",
                                     const_cast<char **>(keywords), &values, &unit, &copy_arg))
        return nullptr;
    bool copy = true;
    if (copy_arg != nullptr) {
        const int t = PyObject_IsTrue(copy_arg);
        if (t < 0) return nullptr;
        copy = t == 1;
    }
    SharedUnits target;
    double number = 1.0;
    if (!read_unit_argument(unit, target, number)) return nullptr;
    const bool has_unit = unit != nullptr && unit != Py_None;

    if (is_lazy_array(values) ||
        (!is_array(values) && !py::is_modrin(values) && is_lazy_values(values))) {
        PyObject *call[] = {reinterpret_cast<PyObject *>(type), values,
                            unit != nullptr ? unit : Py_None, copy ? Py_True : Py_False};
        return support_call("_modrin_array.lazy", "construct", call, 4, nullptr);
    }

    // Quantities: their own units, converted into `unit` when one is given.
    if (is_array(values) || py::is_modrin(values)) {
        Arg q;
        if (read_operand(values, q) != Read::ok) return nullptr;
        PyArrayObject *numbers;
        SharedUnits units = q.units;
        if (has_unit) {
            Result<ConversionPlan> plan = plan_conversion(q.units, target);
            if (!plan) return py::raise(plan.error());
            numbers = converted(*plan, q);
            units = target;
        } else if (q.array != nullptr) {
            numbers = reinterpret_cast<PyArrayObject *>(
                copy ? PyArray_NewCopy(q.array, NPY_KEEPORDER) : (Py_INCREF(q.array), as_object(q.array)));
        } else {
            numbers = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(0, nullptr, NPY_DOUBLE));
            if (numbers != nullptr) *static_cast<double *>(PyArray_DATA(numbers)) = q.scalar;
        }
        if (numbers == nullptr) return nullptr;
        PyObject *r = new_array(type, as_object(numbers), std::move(units));
        Py_DECREF(numbers);
        return r;
    }

    PyArrayObject *numbers = nullptr;
    SharedUnits units = SharedUnits::unitless();
    if (!PyArray_Check(values)) {
        auto *discovered = reinterpret_cast<PyArrayObject *>(
            PyArray_FromAny(values, nullptr, 0, 0, 0, nullptr));
        if (discovered == nullptr) return nullptr;
        if (PyArray_DESCR(discovered)->type_num == NPY_OBJECT && PyArray_SIZE(discovered) > 0) {
            numbers = from_objects(discovered, units);
        } else {
            numbers = numbers_of(as_object(discovered), false);
        }
        Py_DECREF(discovered);
    } else {
        numbers = numbers_of(values, copy);
    }
    if (numbers == nullptr) return nullptr;
    if (has_unit && units.record() != SharedUnits::unitless().record()) {
        // Modrins in the values: converted into `unit`, as a ModrinArray would be.
        Arg q;
        q.array = numbers;
        Result<ConversionPlan> plan = plan_conversion(units, target);
        if (!plan) return py::raise(plan.error());
        numbers = converted(*plan, q);
        if (numbers == nullptr) return nullptr;
    } else if (has_unit && number != 1.0) {
        // A Modrin unit's number scales the plain values, in a buffer of their own.
        PyArrayObject *scaled =
            reinterpret_cast<PyArrayObject *>(PyArray_NewCopy(numbers, NPY_CORDER));
        Py_DECREF(numbers);
        if (scaled == nullptr) return nullptr;
        auto *p = static_cast<double *>(PyArray_DATA(scaled));
        for (npy_intp i = 0, size = PyArray_SIZE(scaled); i < size; ++i) p[i] *= number;
        numbers = scaled;
    }
    if (has_unit) units = target;
    PyObject *r = new_array(type, as_object(numbers), std::move(units));
    Py_DECREF(numbers);
    return r;
}

// ---- NumPy's protocols -----------------------------------------------------------------------

PyObject *refuse_plain(const SharedUnits &units) {
    const std::string &text = plain_text(units);  // "[m]", as unit errors write units
    PyErr_Format(PyExc_TypeError,
                 "a ModrinArray in %s does not become plain numbers on its own: use "
                 "a.as_number(unit) for its numbers in a unit of your choice",
                 text.c_str());
    return nullptr;
}

bool is_unitless(const SharedUnits &u) { return u.record() == SharedUnits::unitless().record(); }

// np.asarray(a) and np.array(a): the numbers of an array without units only.
PyObject *Array_array(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                      PyObject *kwnames) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    if (!is_unitless(units)) return refuse_plain(units);
    return call_on_values(self, "__array__", args, nargsf, kwnames);
}

PyObject *Array_float(PyObject *self) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    if (!is_unitless(units)) return refuse_plain(units);
    return PyNumber_Float(as_array(self)->values);
}

int Array_bool(PyObject *self) { return PyObject_IsTrue(as_array(self)->values); }

// ---- indexing ------------------------------------------------------------------------------

Py_ssize_t Array_length(PyObject *self) { return PyObject_Length(as_array(self)->values); }

PyObject *Array_subscript(PyObject *self, PyObject *key) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return with_units(self, PyObject_GetItem(as_array(self)->values, key), units);
}

PyObject *Array_item(PyObject *self, Py_ssize_t i) {
    PyObject *key = PyLong_FromSsize_t(i);
    if (key == nullptr) return nullptr;
    PyObject *r = Array_subscript(self, key);
    Py_DECREF(key);
    return r;
}

int Array_ass_subscript(PyObject *self, PyObject *key, PyObject *value) {
    if (value == nullptr) {
        PyErr_SetString(PyExc_ValueError, "cannot delete array elements");
        return -1;
    }
    if (is_lazy(self) || is_lazy_array(value)) {
        PyErr_SetString(PyExc_TypeError,
                        "a lazy ModrinArray takes no assignment: build a new one, or compute() it");
        return -1;
    }
    Arg v;
    const Read read = read_operand(value, v);
    if (read == Read::refused)
        PyErr_Format(PyExc_TypeError, "cannot assign a %T to ModrinArray elements", value);
    if (read != Read::ok) return -1;
    // The units stay as they are until the numbers are in.
    py::SharedHold hold;
    if (value != self && !hold.acquire(as_array(self)->access)) return -1;
    const SharedUnits units = held_units(as_array(self));
    Result<ConversionPlan> plan = plan_conversion(v.units, units);
    if (!plan) {
        py::raise(plan.error());
        return -1;
    }
    PyArrayObject *numbers = converted(*plan, v);
    if (numbers == nullptr) return -1;
    const int r = PyObject_SetItem(as_array(self)->values, key, as_object(numbers));
    Py_DECREF(numbers);
    return r;
}

PyObject *Array_iter(PyObject *self) {
    if (is_lazy(self)) return lazy_call("method", "__iter__", self, nullptr, 0, nullptr);
    if (PyArray_NDIM(values_of(self)) == 0) {
        PyErr_SetString(PyExc_TypeError, "iteration over a 0-d array");
        return nullptr;
    }
    return PySeqIter_New(self);
}

// ---- attributes --------------------------------------------------------------------------

PyObject *Array_get_unit(PyObject *self, void *) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return new_quantity(self, 1.0, std::move(units));
}

PyObject *values_attribute(PyObject *self, const char *name) {
    return PyObject_GetAttrString(as_array(self)->values, name);
}
PyObject *Array_get_shape(PyObject *self, void *) { return values_attribute(self, "shape"); }
PyObject *Array_get_ndim(PyObject *self, void *) { return values_attribute(self, "ndim"); }
PyObject *Array_get_size(PyObject *self, void *) { return values_attribute(self, "size"); }
PyObject *Array_get_dtype(PyObject *self, void *) { return values_attribute(self, "dtype"); }
PyObject *Array_get_T(PyObject *self, void *) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return with_units(self, values_attribute(self, "T"), units);
}

// The parts of real numbers: the numbers, and zeros, in the same units.
PyObject *Array_get_real(PyObject *self, void *) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return with_units(self, values_attribute(self, "real"), units);
}
PyObject *Array_get_imag(PyObject *self, void *) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return with_units(self, values_attribute(self, "imag"), units);
}

// ---- shape methods -------------------------------------------------------------------------

// The method of the same name on the numbers, its result in the instance's units.
template <const char *Name>
PyObject *shaped(PyObject *self, PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    return with_units(self, call_on_values(self, Name, args, nargsf, kwnames), units);
}
constexpr char RESHAPE[] = "reshape", RAVEL[] = "ravel", COPY[] = "copy",
               TRANSPOSE[] = "transpose", FLATTEN[] = "flatten", SQUEEZE[] = "squeeze";

PyObject *Array_copy_protocol(PyObject *self, PyObject *const *, Py_ssize_t, PyObject *) {
    return shaped<COPY>(self, nullptr, 0, nullptr);
}

// Nested lists of Modrins from nested lists of floats.
PyObject *quantities_of(PyObject *self, PyObject *item, const SharedUnits &units) {
    if (!PyList_Check(item)) {
        const double v = PyFloat_AsDouble(item);
        if (v == -1.0 && PyErr_Occurred()) return nullptr;
        return new_quantity(self, v, units);
    }
    const Py_ssize_t n = PyList_GET_SIZE(item);
    PyObject *list = PyList_New(n);
    if (list == nullptr) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject *q = quantities_of(self, PyList_GET_ITEM(item, i), units);
        if (q == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, i, q);
    }
    return list;
}

PyObject *Array_tolist(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.tolist()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    PyObject *floats = PyObject_CallMethod(as_array(self)->values, "tolist", nullptr);
    if (floats == nullptr) return nullptr;
    PyObject *r = quantities_of(self, floats, units);
    Py_DECREF(floats);
    return r;
}

// ---- reductions ----------------------------------------------------------------------------

// Sums and means are in the units a sum of two elements has; extremes keep the instance's.
template <const char *Name, bool Normalised>
PyObject *reduced(PyObject *self, PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    if (!refuse_keywords(Name, kwnames, {"out", "initial"})) return nullptr;
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    const Derived *form = Normalised ? &simple_form(units) : nullptr;
    return with_units(self, call_on_values(self, Name, args, nargsf, kwnames), units, form);
}
constexpr char SUM[] = "sum", MEAN[] = "mean", MIN[] = "min", MAX[] = "max";

// ---- conversions ---------------------------------------------------------------------------

// The numbers moved by `plan` into a new array.
PyArrayObject *converted_values(PyObject *self, const ConversionPlan &plan) {
    Arg x;
    Py_INCREF(as_array(self)->values);
    x.array = values_of(self);
    return converted(plan, x);
}

// The units and number of an `other` argument, read as Modrin's methods read it.
bool other_units(PyObject *arg, SharedUnits &units, double &number) {
    py::Operand t;
    if (!py::coerce_to_quantity(arg, t, py::OnFailure::raise)) {
        py::add_processing_note("other");
        return false;
    }
    units = t.units == &t.parsed ? std::move(t.parsed) : *t.units;
    number = t.value;
    return true;
}

PyObject *Array_as_unit(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.as_unit()", {"other"}, 1};
    PyObject *arg[1];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    SharedUnits target;
    double number;
    if (!other_units(arg[0], target, number)) return nullptr;
    py::SharedHold hold;
    if (!hold.acquire(as_array(self)->access)) return nullptr;
    Result<ConversionPlan> plan = plan_conversion(held_units(as_array(self)), target);
    if (!plan) return py::raise(plan.error());
    PyArrayObject *numbers = converted_values(self, *plan);
    hold.release();
    if (numbers == nullptr) return nullptr;
    PyObject *r = new_array(Py_TYPE(self), as_object(numbers), std::move(target));
    Py_DECREF(numbers);
    return r;
}

// The numbers as they are held, not copied, when they already are in `unit`'s units (or no
// unit is given), else converted into them: how the lazy module reads each block, which it
// only passes on.
PyObject *Array_numbers(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray._numbers()", {"unit"}, 0};
    PyObject *arg[1];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    if (arg[0] == nullptr || arg[0] == Py_None) return Py_NewRef(as_array(self)->values);
    SharedUnits target;
    double number;
    if (!other_units(arg[0], target, number)) return nullptr;
    py::SharedHold hold;
    if (!hold.acquire(as_array(self)->access)) return nullptr;
    const SharedUnits units = held_units(as_array(self));
    if (units.record() == target.record()) return Py_NewRef(as_array(self)->values);
    if (is_lazy(self)) {
        PyErr_SetString(PyExc_TypeError, "lazy numbers move into other units with as_unit()");
        return nullptr;
    }
    Result<ConversionPlan> plan = plan_conversion(units, target);
    if (!plan) return py::raise(plan.error());
    // Equal units held apart (a unit unpickled on a worker) need no copy either.
    if (plan->conversion.kind == Conversion::Kind::same) return Py_NewRef(as_array(self)->values);
    return as_object(converted_values(self, *plan));
}

template <const Derived &(*Form)(const SharedUnits &)>
PyObject *in_form(PyObject *self) {
    py::SharedHold hold;
    if (!hold.acquire(as_array(self)->access)) return nullptr;
    const SharedUnits units = held_units(as_array(self));
    const Derived &form = Form(units);
    SharedUnits target = form.target ? form.target : units;
    PyArrayObject *numbers = converted_values(self, {form.conversion, units, target});
    hold.release();
    if (numbers == nullptr) return nullptr;
    PyObject *r = new_array(Py_TYPE(self), as_object(numbers), std::move(target));
    Py_DECREF(numbers);
    return r;
}

PyObject *Array_as_base_units(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.as_base_units()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    return in_form<base_form>(self);
}

PyObject *Array_simplify(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.simplify()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    return in_form<full_form>(self);
}

// Only a Python bool or a NumPy boolean: an integer is not a flag.
bool read_flag(PyObject *obj, const char *param, bool &out) {
    if (PyBool_Check(obj) || PyArray_IsScalar(obj, Bool)) {
        out = PyObject_IsTrue(obj) == 1;
        return true;
    }
    py::raise_not_instance(obj, "bool");
    py::add_processing_note(param);
    return false;
}

PyObject *Array_as_number(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.as_number()", {"other", "scale"}, 0};
    PyObject *arg[2];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    const bool has_other = arg[0] != nullptr && arg[0] != Py_None;
    SharedUnits target;
    double number = 1.0;
    if (has_other && !other_units(arg[0], target, number)) return nullptr;
    bool scale = false;
    if (arg[1] != nullptr && !read_flag(arg[1], "scale", scale)) return nullptr;
    if (!has_other) return PyArray_NewCopy(values_of(self), NPY_KEEPORDER);
    const double divisor = scale ? number : 1.0;
    py::SharedHold hold;
    if (!hold.acquire(as_array(self)->access)) return nullptr;
    Result<ConversionPlan> plan = plan_conversion(held_units(as_array(self)), target);
    if (!plan) return py::raise(plan.error());
    PyArrayObject *numbers = converted_values(self, *plan);
    hold.release();
    if (numbers == nullptr || divisor == 1.0) return as_object(numbers);
    // As Modrin's as_number: the converted number divided by the target's.
    double *p = static_cast<double *>(PyArray_DATA(numbers));
    for (npy_intp i = 0, size = PyArray_SIZE(numbers); i < size; ++i) p[i] /= divisor;
    return as_object(numbers);
}

PyObject *Array_as_unitless(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.as_unitless()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    py::SharedHold hold;
    if (!hold.acquire(as_array(self)->access)) return nullptr;
    Result<ConversionPlan> plan =
        plan_conversion(held_units(as_array(self)), SharedUnits::unitless());
    if (!plan) return py::raise(plan.error());
    return as_object(converted_values(self, *plan));
}

// As NumPy's astype: float64 keeps the units; other types hold plain numbers only.
PyObject *Array_astype(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.astype()", {"dtype", "copy"}, 1};
    PyObject *arg[2];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    bool copy = true;
    if (arg[1] != nullptr && !read_flag(arg[1], "copy", copy)) return nullptr;
    PyArray_Descr *descr = nullptr;
    if (PyArray_DescrConverter(arg[0], &descr) == 0) return nullptr;
    const bool same = descr->type_num == NPY_DOUBLE && PyArray_ISNBO(descr->byteorder);
    Py_DECREF(descr);
    if (same && !copy) return Py_NewRef(self);
    if (same) return shaped<COPY>(self, nullptr, 0, nullptr);
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    if (!is_unitless(units)) return refuse_plain(units);
    return call_on_values(self, "astype", args, n, kw);
}

// ---- operators -----------------------------------------------------------------------------

PyObject *binary(Op op, PyObject *left, PyObject *right) {
    const char *name = OPERATOR_NAMES[static_cast<int>(op)];
    if (is_lazy_array(left) || is_lazy_array(right)) return lazy_operator(name, left, right);
    Arg l, r;
    Read read = read_operand(left, l);
    if (read == Read::ok) read = read_operand(right, r);
    if (read == Read::refused && is_lazy_values(is_array(left) ? right : left))
        return lazy_operator(name, left, right);  // a Dask array: lazy numbers too
    if (read == Read::refused) Py_RETURN_NOTIMPLEMENTED;
    if (read == Read::failed) return nullptr;
    State *st = state(is_array(left) ? left : right);
    return wrap(st, arithmetic(op, l, r), false);
}

PyObject *Array_add(PyObject *l, PyObject *r) { return binary(Op::add, l, r); }
PyObject *Array_subtract(PyObject *l, PyObject *r) { return binary(Op::sub, l, r); }
PyObject *Array_multiply(PyObject *l, PyObject *r) { return binary(Op::mul, l, r); }
PyObject *Array_true_divide(PyObject *l, PyObject *r) { return binary(Op::div, l, r); }
PyObject *Array_power(PyObject *l, PyObject *r, PyObject *modulus) {
    if (modulus != Py_None) Py_RETURN_NOTIMPLEMENTED;
    return binary(Op::pow, l, r);
}

// Written into the instance's own numbers; a change of units takes exclusive access, and a
// failure leaves numbers and units as they were.
PyObject *in_place(Op op, PyObject *self, PyObject *other) {
    // Lazy numbers are never written: the name takes a new lazy array.
    if (is_lazy(self) || is_lazy_array(other)) return binary(op, self, other);
    Arg o;
    const Read read = read_operand(other, o);
    if (read == Read::refused) Py_RETURN_NOTIMPLEMENTED;
    if (read == Read::failed) return nullptr;
    o.hold.release();  // its units and numbers are held; `a *= a` needs no second hold
    ArrayObject *obj = as_array(self);
    py::ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    Arg s;
    s.units = held_units(obj);
    Py_INCREF(obj->values);
    s.array = values_of(self);
    s.quantity = true;
    Outcome r = arithmetic(op, s, o, values_of(self));
    if (r.values == nullptr) return nullptr;
    Py_DECREF(r.values);
    if (r.units.record() != s.units.record()) py::replace_units(obj->access, std::move(r.units));
    return Py_NewRef(self);
}

PyObject *Array_inplace_add(PyObject *s, PyObject *o) { return in_place(Op::add, s, o); }
PyObject *Array_inplace_subtract(PyObject *s, PyObject *o) { return in_place(Op::sub, s, o); }
PyObject *Array_inplace_multiply(PyObject *s, PyObject *o) { return in_place(Op::mul, s, o); }
PyObject *Array_inplace_true_divide(PyObject *s, PyObject *o) { return in_place(Op::div, s, o); }
PyObject *Array_inplace_power(PyObject *s, PyObject *o, PyObject *modulus) {
    if (modulus != Py_None) Py_RETURN_NOTIMPLEMENTED;
    return in_place(Op::pow, s, o);
}

constexpr char NEG[] = "neg", POS[] = "pos", ABS[] = "abs";

template <Unary U, const char *Name>
PyObject *unary_operator(PyObject *self) {
    if (is_lazy(self)) return lazy_call("operator", Name, self, nullptr, 0, nullptr);
    Arg x;
    if (read_operand(self, x) != Read::ok) return nullptr;
    return wrap(state(self), unary(U, x), false);
}

PyObject *Array_richcompare(PyObject *self, PyObject *other, int op) {
    if (is_lazy(self) || is_lazy_array(other))
        return lazy_operator(COMPARISON_NAMES[op], self, other);
    Arg s, o;
    if (read_operand(self, s) != Read::ok) return nullptr;
    const Read read = read_operand(other, o);
    if (read == Read::refused && (op == Py_EQ || op == Py_NE) && PyLong_Check(other)) {
        // An integer beyond a Modrin's range equals no element, as it equals no Modrin.
        return reinterpret_cast<PyObject *>(bools_like(s, op == Py_NE));
    }
    if (read == Read::refused && is_lazy_values(other))
        return lazy_operator(COMPARISON_NAMES[op], self, other);
    if (read == Read::refused) Py_RETURN_NOTIMPLEMENTED;
    if (read == Read::failed) return nullptr;
    return rich_comparison(op, s, o);
}

// ---- text forms ----------------------------------------------------------------------------

PyObject *text_of(const std::string &text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                "surrogateescape");
}

// The numbers in the units each element's text form shows them in: simply simplified, then
// fully for str() and format() (as Modrin's str), only simply for latex() and descriptive()
// (as Modrin's). A new array, or null.
PyArrayObject *shown_numbers(PyObject *self, bool full, SharedUnits &shown) {
    Arg x;
    if (read_operand(self, x) != Read::ok) return nullptr;
    const Derived &simple = simple_form(x.units);
    SharedUnits once = simple.target ? simple.target : x.units;
    PyArrayObject *step = converted({simple.conversion, x.units, once}, x);
    if (step == nullptr || !full) {
        shown = std::move(once);
        return step;
    }
    const Derived &form = full_form(once);
    shown = form.target ? form.target : once;
    Arg y;
    y.array = step;
    return converted({form.conversion, once, shown}, y);
}

// `numbers` (a new reference, or null) as text, then `separator` and the units' rendering.
PyObject *joined(PyObject *numbers, const char *separator, const std::string &units) {
    if (numbers == nullptr) return nullptr;
    PyObject *tail = text_of(separator + units);
    PyObject *r = tail == nullptr ? nullptr : PyUnicode_Concat(numbers, tail);
    Py_DECREF(numbers);
    Py_XDECREF(tail);
    return r;
}

// NumPy's text of the numbers each element's str() shows, and the units they are shown in.
PyObject *Array_str(PyObject *self) {
    if (is_lazy(self)) return lazy_call("method", "__str__", self, nullptr, 0, nullptr);
    SharedUnits shown;
    PyArrayObject *numbers = shown_numbers(self, true, shown);
    if (numbers == nullptr) return nullptr;
    PyObject *text = PyObject_Str(as_object(numbers));
    Py_DECREF(numbers);
    return joined(text, " ", plain_text(shown));
}

// One element formatted as Modrin formats its number: as a Python float, so the text and the
// errors are a float's.
PyObject *format_element(PyObject *format_spec, PyObject *element) {
    const double v = PyFloat_AsDouble(element);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    PyObject *number = PyFloat_FromDouble(v);
    if (number == nullptr) return nullptr;
    PyObject *r = PyObject_Format(number, format_spec);
    Py_DECREF(number);
    return r;
}
PyMethodDef format_element_def = {"format_element", py::Entry<format_element>::call, METH_O,
                                  nullptr};

// NumPy's layout of the numbers str() shows, each formatted as a float, then the units.
PyObject *Array_format(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.__format__()", {"format_spec"}, 1};
    PyObject *format_spec;
    if (!py::bind(sig, args, n, kw, &format_spec)) return nullptr;
    if (!PyUnicode_Check(format_spec)) {
        py::raise_not_instance(format_spec, "str");
        py::add_processing_note("format_spec");
        return nullptr;
    }
    if (PyUnicode_GET_LENGTH(format_spec) == 0) return Array_str(self);
    // A format no float takes fails even when there is no element to format.
    PyObject *zero = PyFloat_FromDouble(0.0);
    PyObject *probe = zero == nullptr ? nullptr : PyObject_Format(zero, format_spec);
    Py_XDECREF(zero);
    if (probe == nullptr) return nullptr;
    Py_DECREF(probe);
    SharedUnits shown;
    PyArrayObject *numbers = shown_numbers(self, true, shown);
    if (numbers == nullptr) return nullptr;
    PyObject *formatter = PyCFunction_New(&format_element_def, format_spec);
    PyObject *kinds =
        formatter == nullptr ? nullptr : Py_BuildValue("{s:N}", "float_kind", formatter);
    PyObject *kwargs = kinds == nullptr ? nullptr : Py_BuildValue("{s:N}", "formatter", kinds);
    PyObject *call_args = kwargs == nullptr ? nullptr : PyTuple_Pack(1, as_object(numbers));
    PyObject *text = call_args == nullptr
                         ? nullptr
                         : PyObject_Call(state(self)->array2string, call_args, kwargs);
    Py_XDECREF(call_args);
    Py_XDECREF(kwargs);
    Py_DECREF(numbers);
    return joined(text, " ", plain_text(shown));
}

// As Modrin's latex() and descriptive(): NumPy's text of the numbers in place of one number.
template <bool Latex>
PyObject *rendered(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{
        Latex ? "ModrinArray.latex()" : "ModrinArray.descriptive()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    SharedUnits shown;
    PyArrayObject *numbers = shown_numbers(self, false, shown);
    if (numbers == nullptr) return nullptr;
    PyObject *text = PyObject_Str(as_object(numbers));
    Py_DECREF(numbers);
    return Latex ? joined(text, "~", latex_text(shown))
                 : joined(text, " ", descriptive_text(shown));
}

PyObject *Array_repr_latex(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray._repr_latex_()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    PyObject *latex = rendered<true>(self, nullptr, 0, nullptr);
    if (latex == nullptr) return nullptr;
    PyObject *r = PyUnicode_FromFormat("$%U$", latex);
    Py_DECREF(latex);
    return r;
}

PyObject *Array_repr(PyObject *self) {
    if (is_lazy(self)) return lazy_call("method", "__repr__", self, nullptr, 0, nullptr);
    SharedUnits units;
    if (!read_units(self, units)) return nullptr;
    PyObject *kw = Py_BuildValue("{s:s,s:s}", "separator", ", ", "prefix", "ModrinArray(");
    PyObject *args = kw == nullptr ? nullptr : PyTuple_Pack(1, as_array(self)->values);
    PyObject *numbers =
        args == nullptr ? nullptr : PyObject_Call(state(self)->array2string, args, kw);
    Py_XDECREF(args);
    Py_XDECREF(kw);
    if (numbers == nullptr) return nullptr;
    PyObject *r;
    if (is_unitless(units)) {
        r = PyUnicode_FromFormat("ModrinArray(%U)", numbers);
    } else {
        // The rendering without its brackets, as a unit text reads.
        const std::string &text = plain_text(units);
        PyObject *unit = text_of(text.substr(1, text.size() - 2));
        r = unit == nullptr ? nullptr : PyUnicode_FromFormat("ModrinArray(%U, %R)", numbers, unit);
        Py_XDECREF(unit);
    }
    Py_DECREF(numbers);
    return r;
}

// ---- pickling ------------------------------------------------------------------------------

// (ModrinArray._reconstruct, (numbers, a Modrin of 1 in the units)): the Modrin carries the
// units, custom ones included, as it pickles itself.
PyObject *Array_reduce(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray.__reduce__()", {}, 0};
    if (!py::bind(sig, args, n, kw, nullptr)) return nullptr;
    PyObject *unit = Array_get_unit(self, nullptr);
    if (unit == nullptr) return nullptr;
    return py::reduction(self, Py_BuildValue("(ON)", as_array(self)->values, unit));
}

PyObject *Array_reconstruct(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray._reconstruct()", {"values", "unit"}, 2};
    PyObject *arg[2];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    if (!PyArray_Check(arg[0]) && !is_lazy_values(arg[0])) {
        py::raise_not_instance(arg[0], "numpy.ndarray");
        py::add_processing_note("values");
        return nullptr;
    }
    if (!py::is_modrin(arg[1])) {
        py::raise_not_instance(arg[1], "Modrin");
        py::add_processing_note("unit");
        return nullptr;
    }
    Arg unit;
    if (read_operand(arg[1], unit) != Read::ok) return nullptr;
    if (!PyArray_Check(arg[0]))
        return new_array(reinterpret_cast<PyTypeObject *>(cls), arg[0], std::move(unit.units));
    PyArrayObject *numbers = numbers_of(arg[0], false);
    if (numbers == nullptr) return nullptr;
    PyObject *r = new_array(reinterpret_cast<PyTypeObject *>(cls), as_object(numbers),
                            std::move(unit.units));
    Py_DECREF(numbers);
    return r;
}

// ---- the class -----------------------------------------------------------------------------

constexpr int METHOD = METH_FASTCALL | METH_KEYWORDS;

using Method = PyObject *(*)(PyObject *, PyObject *const *, Py_ssize_t, PyObject *);

// The method F, or for lazy numbers its counterpart built on their graph.
template <const char *Name, Method F>
PyObject *lazy_aware(PyObject *self, PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    if (!is_lazy(self)) return F(self, args, nargsf, kwnames);
    return lazy_call("method", Name, self, args, nargsf, kwnames);
}
constexpr char AS_UNIT[] = "as_unit", AS_NUMBER[] = "as_number", AS_UNITLESS[] = "as_unitless",
               AS_BASE_UNITS[] = "as_base_units", SIMPLIFY[] = "simplify", TOLIST[] = "tolist",
               LATEX[] = "latex", DESCRIPTIVE[] = "descriptive", REPR_LATEX[] = "_repr_latex_",
               FORMAT[] = "__format__", ARRAY[] = "__array__", COMPUTE[] = "compute",
               PERSIST[] = "persist";

// compute() and persist() of an array in memory: the array itself, as Dask gives back what is
// not a collection.
PyObject *Array_itself(PyObject *self, PyObject *const *, Py_ssize_t, PyObject *) {
    return Py_NewRef(self);
}

PyObject *Array_repr_inline(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"ModrinArray._repr_inline_()", {"max_width"}, 1};
    PyObject *arg[1];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    PyObject *call[] = {self, arg[0]};
    return support_call("_modrin_array.text", "inline", call, 2, nullptr);
}

PyObject *Array_array_namespace(PyObject *, PyObject *const *, Py_ssize_t, PyObject *) {
    return PyImport_ImportModule("_modrin_array.namespace");
}

PyMethodDef Array_methods[] = {
    {"as_unit", py::fastcall<lazy_aware<AS_UNIT, Array_as_unit>>(), METHOD,
     "as_unit($self, other)\n--\n\n"},
    {"as_number", py::fastcall<lazy_aware<AS_NUMBER, Array_as_number>>(), METHOD,
     "as_number($self, other=None, scale=False)\n--\n\n"},
    {"as_unitless", py::fastcall<lazy_aware<AS_UNITLESS, Array_as_unitless>>(), METHOD,
     "as_unitless($self)\n--\n\n"},
    {"as_base_units", py::fastcall<lazy_aware<AS_BASE_UNITS, Array_as_base_units>>(), METHOD,
     "as_base_units($self)\n--\n\n"},
    {"simplify", py::fastcall<lazy_aware<SIMPLIFY, Array_simplify>>(), METHOD,
     "simplify($self)\n--\n\n"},
    {"astype", py::fastcall<Array_astype>(), METHOD, "astype($self, dtype, copy=True)\n--\n\n"},
    {"_numbers", py::fastcall<Array_numbers>(), METHOD, "_numbers($self, unit=None)\n--\n\n"},
    {"reshape", py::fastcall<shaped<RESHAPE>>(), METHOD, nullptr},
    {"ravel", py::fastcall<shaped<RAVEL>>(), METHOD, nullptr},
    {"flatten", py::fastcall<shaped<FLATTEN>>(), METHOD, nullptr},
    {"squeeze", py::fastcall<shaped<SQUEEZE>>(), METHOD, nullptr},
    {"transpose", py::fastcall<shaped<TRANSPOSE>>(), METHOD, nullptr},
    {"copy", py::fastcall<shaped<COPY>>(), METHOD, nullptr},
    {"tolist", py::fastcall<lazy_aware<TOLIST, Array_tolist>>(), METHOD,
     "tolist($self)\n--\n\n"},
    {"latex", py::fastcall<lazy_aware<LATEX, rendered<true>>>(), METHOD,
     "latex($self)\n--\n\n"},
    {"descriptive", py::fastcall<lazy_aware<DESCRIPTIVE, rendered<false>>>(), METHOD,
     "descriptive($self)\n--\n\n"},
    {"_repr_latex_", py::fastcall<lazy_aware<REPR_LATEX, Array_repr_latex>>(), METHOD,
     "_repr_latex_($self)\n--\n\n"},
    {"__format__", py::fastcall<lazy_aware<FORMAT, Array_format>>(), METHOD,
     "__format__($self, format_spec)\n--\n\n"},
    {"sum", py::fastcall<lazy_aware<SUM, reduced<SUM, true>>>(), METHOD, nullptr},
    {"mean", py::fastcall<lazy_aware<MEAN, reduced<MEAN, true>>>(), METHOD, nullptr},
    {"min", py::fastcall<lazy_aware<MIN, reduced<MIN, false>>>(), METHOD, nullptr},
    {"max", py::fastcall<lazy_aware<MAX, reduced<MAX, false>>>(), METHOD, nullptr},
    {"compute", py::fastcall<lazy_aware<COMPUTE, Array_itself>>(), METHOD,
     "compute($self, **kwargs)\n--\n\nThe array with its numbers in memory: itself when they are."},
    {"persist", py::fastcall<lazy_aware<PERSIST, Array_itself>>(), METHOD,
     "persist($self, **kwargs)\n--\n\nThe array with its lazy numbers computed and kept "
     "(in a cluster's memory when one is in use): itself when they are in memory."},
    {"_repr_inline_", py::fastcall<Array_repr_inline>(), METHOD,
     "_repr_inline_($self, max_width)\n--\n\nThe units and as many numbers as fit in one line."},
    {"__array_namespace__", py::fastcall<Array_array_namespace>(), METHOD,
     "__array_namespace__($self, /, *, api_version=None)\n--\n\n"},
    {"__array__", py::fastcall<lazy_aware<ARRAY, Array_array>>(), METHOD, nullptr},
    {"__array_ufunc__", py::fastcall<array_ufunc>(), METHOD, nullptr},
    {"__array_function__", py::fastcall<array_function>(), METHOD, nullptr},
    {"__copy__", py::fastcall<Array_copy_protocol>(), METHOD, nullptr},
    {"__deepcopy__", py::fastcall<Array_copy_protocol>(), METHOD, nullptr},
    {"__reduce__", py::fastcall<Array_reduce>(), METHOD, "__reduce__($self)\n--\n\n"},
    {"_reconstruct", py::fastcall<Array_reconstruct>(), METHOD | METH_CLASS,
     "_reconstruct($cls, values, unit)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef Array_getset[] = {
    {"unit", py::Entry<Array_get_unit>::call, nullptr, "A Modrin of 1 in the array's units.", nullptr},
    {"shape", py::Entry<Array_get_shape>::call, nullptr, nullptr, nullptr},
    {"ndim", py::Entry<Array_get_ndim>::call, nullptr, nullptr, nullptr},
    {"size", py::Entry<Array_get_size>::call, nullptr, nullptr, nullptr},
    {"dtype", py::Entry<Array_get_dtype>::call, nullptr, nullptr, nullptr},
    {"T", py::Entry<Array_get_T>::call, nullptr, nullptr, nullptr},
    {"real", py::Entry<Array_get_real>::call, nullptr, nullptr, nullptr},
    {"imag", py::Entry<Array_get_imag>::call, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot Array_slots[] = {
    {Py_tp_doc, const_cast<char *>(
                    "ModrinArray(values, unit=None, *, copy=True)\n--\n\n"
                    "An n-dimensional array of 64-bit floats in one unit collection.")},
    {Py_tp_new, py::slot_fn<Array_new>()},
    {Py_tp_dealloc, py::raw_slot(array_dealloc)},
    {Py_tp_traverse, py::slot_fn<Array_traverse>()},
    {Py_tp_hash, py::raw_slot(PyObject_HashNotImplemented)},
    {Py_tp_str, py::slot_fn<Array_str>()},
    {Py_tp_repr, py::slot_fn<Array_repr>()},
    {Py_tp_richcompare, py::slot_fn<Array_richcompare>()},
    {Py_tp_iter, py::slot_fn<Array_iter>()},
    {Py_tp_methods, Array_methods},
    {Py_tp_getset, Array_getset},
    {Py_mp_length, py::slot_fn<Array_length>()},
    {Py_mp_subscript, py::slot_fn<Array_subscript>()},
    {Py_mp_ass_subscript, py::slot_fn<Array_ass_subscript>()},
    {Py_sq_length, py::slot_fn<Array_length>()},
    {Py_sq_item, py::slot_fn<Array_item>()},
    {Py_nb_add, py::slot_fn<Array_add>()},
    {Py_nb_subtract, py::slot_fn<Array_subtract>()},
    {Py_nb_multiply, py::slot_fn<Array_multiply>()},
    {Py_nb_true_divide, py::slot_fn<Array_true_divide>()},
    {Py_nb_power, py::slot_fn<Array_power>()},
    {Py_nb_inplace_add, py::slot_fn<Array_inplace_add>()},
    {Py_nb_inplace_subtract, py::slot_fn<Array_inplace_subtract>()},
    {Py_nb_inplace_multiply, py::slot_fn<Array_inplace_multiply>()},
    {Py_nb_inplace_true_divide, py::slot_fn<Array_inplace_true_divide>()},
    {Py_nb_inplace_power, py::slot_fn<Array_inplace_power>()},
    {Py_nb_negative, py::slot_fn<unary_operator<Unary::negative, NEG>>()},
    {Py_nb_positive, py::slot_fn<unary_operator<Unary::positive, POS>>()},
    {Py_nb_absolute, py::slot_fn<unary_operator<Unary::absolute, ABS>>()},
    {Py_nb_float, py::slot_fn<Array_float>()},
    {Py_nb_bool, py::slot_fn<Array_bool>()},
    {0, nullptr},
};

PyType_Spec Array_spec = {
    .name = "modrin_array.ModrinArray",
    .basicsize = sizeof(ArrayObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = Array_slots,
};

}  // namespace

void array_dealloc(PyObject *self) noexcept {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    SharedUnits::adopt(reinterpret_cast<detail::UnitsRecord *>(as_array(self)->access.payload()));
    Py_XDECREF(as_array(self)->values);
    type->tp_free(self);
    Py_DECREF(type);
}

PyTypeObject *create_array_type(PyObject *module) {
    return reinterpret_cast<PyTypeObject *>(PyType_FromModuleAndSpec(module, &Array_spec, nullptr));
}

PyObject *new_array(PyTypeObject *type, PyObject *values, SharedUnits units) {
    const auto record = reinterpret_cast<std::uintptr_t>(units.record());
    if (!AccessFlag::fits(record)) throw std::runtime_error("a units record beyond 48-bit addresses");
    auto *obj = PyObject_GC_New(ArrayObject, type);
    if (obj == nullptr) return nullptr;
    std::construct_at(&obj->access);
    obj->access.set_payload(record);
    units.release();
    obj->values = Py_NewRef(values);
    PyObject_GC_Track(reinterpret_cast<PyObject *>(obj));
    return reinterpret_cast<PyObject *>(obj);
}

bool read_units(PyObject *self, SharedUnits &out) {
    py::SharedAccess access(as_array(self)->access);
    if (!access) return false;
    out = held_units(as_array(self));
    return true;
}

}  // namespace modrin::array
