// The Modrin class: constructors, text forms, arithmetic, comparison, conversion, rounding.
#include <atomic>
#include <cmath>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "array/hooks.hpp"
#include "constant/constants.hpp"
#include "error/py_error.hpp"
#include "lib/binder.hpp"
#include "lib/coerce.hpp"
#include "lib/objects.hpp"
#include "lib/protocols.hpp"
#include "lib/raise.hpp"
#include "unit/base_units.hpp"
#include "unit/number_text.hpp"
#include "unit/parse_cache.hpp"
#include "unit/quantity.hpp"
#include "unit/render.hpp"
#include "unit/rounding.hpp"
#include "unit/simplify.hpp"

namespace modrin::py {

namespace {

ModrinObject *as_obj(PyObject *self) { return reinterpret_cast<ModrinObject *>(self); }

PyTypeObject *class_of(PyObject *cls) { return reinterpret_cast<PyTypeObject *>(cls); }

// A new instance of the same class as `like`.
PyObject *new_quantity(PyObject *like, SharedQuantity q) {
    return new_modrin(Py_TYPE(like), q.value, std::move(q.units));
}

// The instance's number and a counted handle to its units, taken under shared access.
bool copy_out(PyObject *self, SharedQuantity &out) {
    ModrinObject *obj = as_obj(self);
    SharedAccess access(obj->access);
    if (!access) return false;
    out.value = obj->value;
    out.units = HeldUnits(obj).get();
    return true;
}

// The number moved into a derived form of its units; a form without a target of its own
// (the units already are that form, or the conversion was refused) keeps the units.
SharedQuantity into(const Derived &form, double value, const SharedUnits &units) {
    return {form.conversion.apply(value), form.target ? form.target : units};
}

}  // namespace

// ---- lifecycle -----------------------------------------------------------------------------

void modrin_dealloc(PyObject *self) noexcept {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    SharedUnits::adopt(reinterpret_cast<detail::UnitsRecord *>(as_obj(self)->access.payload()));
    type->tp_free(self);
    Py_DECREF(type);
}

void replace_units(AccessFlag &flag, SharedUnits units) {
    const auto p = reinterpret_cast<std::uintptr_t>(units.record());
    if (!AccessFlag::fits(p)) throw std::runtime_error("a units record beyond 48-bit addresses");
    SharedUnits old = SharedUnits::adopt(reinterpret_cast<detail::UnitsRecord *>(flag.payload()));
    flag.set_payload(reinterpret_cast<std::uintptr_t>(units.release()));
}

namespace {

// Instances hold no Python references: only the (heap) type is visited.
int Modrin_traverse(PyObject *self, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int Modrin_clear(PyObject *) { return 0; }

// ---- constructors --------------------------------------------------------------------------

PyObject *Modrin_unit(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.unit()", {"unit_name_or_symbol"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    auto text = bind_str_view(arg[0], "unit_name_or_symbol");
    if (!text) return nullptr;
    SharedUnits units = from_unit_name_cached(*text);
    if (!units) return raise(unit_not_found(std::string(*text)));
    return new_modrin(class_of(cls), 1.0, std::move(units));
}

PyObject *Modrin_constant(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.constant()", {"constant_name"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    auto name = bind_str_view(arg[0], "constant_name");
    if (!name) return nullptr;
    const ConstantDef *row = search_for_constant_name(*name);
    if (row == nullptr) return raise(constant_not_found(std::string(*name)));
    const SharedUnits &units = units_of(*row);
    if (!units) return raise(unit_not_found(std::string(row->unit)));
    return new_modrin(class_of(cls), row->value, units);
}

PyObject *Modrin_empty(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.empty()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return new_modrin(class_of(cls), 1.0, SharedUnits::unitless());
}

PyObject *Modrin_custom(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.custom()", {"name", "abbr", "definition"}, 3};
    PyObject *arg[3];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    auto name = bind_str(arg[0], "name");
    if (!name) return nullptr;
    auto abbr = bind_str(arg[1], "abbr");
    if (!abbr) return nullptr;
    double factor;
    BaseExponents dimensions;
    {
        Operand d;
        if (!coerce_to_quantity(arg[2], d, OnFailure::raise)) {
            add_processing_note("definition");
            return nullptr;
        }
        factor = (*d.units)->factor * d.value;
        dimensions = (*d.units)->base_exponents;
    }
    // The definition's offset, if any, is dropped: a custom unit is a plain scale.
    SingleUnit unit =
        SingleUnit::make(std::move(*name), std::move(*abbr), factor, 0.0, dimensions);
    return new_modrin(class_of(cls), 1.0, SharedUnits(coerce_unit_to_collection(std::move(unit))));
}

// ---- text forms ----------------------------------------------------------------------------

// Phase 1 of the text forms and of rounding: simple simplification of the instance in place.
// The caller holds exclusive access.
void simplify_in_place_locked(ModrinObject *obj) {
    const Derived *form;
    {
        HeldUnits held(obj);
        form = &simple_form(held.get());
    }
    obj->value = form->conversion.apply(obj->value);
    if (form->target) replace_units(obj->access, form->target);
}

PyObject *text_of(const std::string &text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                "surrogateescape");
}

PyObject *Modrin_str(PyObject *self) {
    ModrinObject *obj = as_obj(self);
    ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    simplify_in_place_locked(obj);
    const double value = obj->value;
    SharedUnits current = HeldUnits(obj).get();
    access.release();
    SharedQuantity shown = into(full_form(current), value, current);
    std::string text = number_text(shown.value);
    text += ' ';
    text += plain_text(shown.units);
    return text_of(text);
}

template <bool Latex>
PyObject *rendered_text(PyObject *self) {
    ModrinObject *obj = as_obj(self);
    ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    simplify_in_place_locked(obj);
    std::string text = number_text(obj->value);
    HeldUnits held(obj);
    if constexpr (Latex) {
        text += '~';
        text += latex_text(held.get());
    } else {
        text += ' ';
        text += descriptive_text(held.get());
    }
    return text_of(text);
}

PyObject *Modrin_descriptive(PyObject *self, PyObject *const *args, Py_ssize_t n,
                             PyObject *kw) {
    static const Signature sig{"Modrin.descriptive()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return rendered_text<false>(self);
}

PyObject *Modrin_latex(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.latex()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return rendered_text<true>(self);
}

// ---- arithmetic ----------------------------------------------------------------------------

// One attempt of the operator dispatch with `self` as the quantity; nullptr with no error set
// means NotImplemented.
PyObject *attempt(Op op, PyObject *self, PyObject *other, PyObject *modulus, bool reflected,
                  bool &not_implemented) {
    not_implemented = true;
    ModrinObject *obj = as_obj(self);
    std::optional<Result<SharedQuantity>> r;
    {
        SharedAccess access(obj->access);
        if (!access) {
            PyErr_Clear();
            return nullptr;
        }
        Operand o;
        if (!coerce_to_quantity(other, o, OnFailure::discard)) return nullptr;
        if (!modulus_accepted(modulus)) return nullptr;
        not_implemented = false;
        HeldUnits held(obj);
        r.emplace(apply(op, obj->value, held.get(), o.value, *o.units, reflected));
    }
    if (!*r) return raise(r->error());
    return new_quantity(self, std::move(**r));
}

PyObject *binary(Op op, PyObject *left, PyObject *right, PyObject *modulus = nullptr) {
    return dispatch_binary(is_modrin, left, right, [&](PyObject *self, PyObject *other,
                                                       bool reflected, bool &not_impl) {
        return attempt(op, self, other, modulus, reflected, not_impl);
    });
}

PyObject *Modrin_add(PyObject *l, PyObject *r) { return binary(Op::add, l, r); }
PyObject *Modrin_subtract(PyObject *l, PyObject *r) { return binary(Op::sub, l, r); }
PyObject *Modrin_multiply(PyObject *l, PyObject *r) { return binary(Op::mul, l, r); }
PyObject *Modrin_true_divide(PyObject *l, PyObject *r) { return binary(Op::div, l, r); }
PyObject *Modrin_power(PyObject *l, PyObject *r, PyObject *m) { return binary(Op::pow, l, r, m); }

template <class F>
PyObject *unary(PyObject *self, F &&transform) {
    SharedQuantity q;
    if (!copy_out(self, q)) return nullptr;
    return new_quantity(self, transform(std::move(q)));
}

PyObject *Modrin_negative(PyObject *self) {
    return unary(self, [](SharedQuantity q) { return into(simple_form(q.units), -q.value, q.units); });
}
PyObject *Modrin_positive(PyObject *self) {
    return unary(self, [](SharedQuantity q) { return into(simple_form(q.units), q.value, q.units); });
}
PyObject *Modrin_absolute(PyObject *self) {
    return unary(self, [](SharedQuantity q) {
        q.value = std::fabs(q.value);
        return q;
    });
}

// __div__ and __rdiv__: explicit methods that raise what the operator would turn away.
template <bool Reflected>
PyObject *explicit_division(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{Reflected ? "Modrin.__rdiv__()" : "Modrin.__div__()", {"other"},
                               1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    ModrinObject *obj = as_obj(self);
    std::optional<Result<SharedQuantity>> r;
    {
        SharedAccess access(obj->access);
        if (!access) return nullptr;
        Operand o;
        if (!coerce_to_quantity(arg[0], o, OnFailure::raise)) {
            add_processing_note("other");
            return nullptr;
        }
        HeldUnits held(obj);
        r.emplace(apply(Op::div, obj->value, held.get(), o.value, *o.units, Reflected));
    }
    if (!*r) return raise(r->error());
    return new_quantity(self, std::move(**r));
}

// ---- comparison ----------------------------------------------------------------------------

PyObject *Modrin_richcompare(PyObject *self, PyObject *other, int op) {
    // Element by element as this Modrin compares with each: the array converted into its units.
    if (array::is_modrin_array(other)) return array::compare_modrin_with_array(self, other, op);
    ModrinObject *obj = as_obj(self);
    double x;
    Result<double> w = 0.0;
    {
        SharedAccess access(obj->access);
        if (!access) return nullptr;
        Operand o;
        if (!coerce_to_quantity(other, o, OnFailure::discard)) Py_RETURN_NOTIMPLEMENTED;
        x = obj->value;
        HeldUnits held(obj);
        w = convert(o.value, *o.units, held.get());
    }
    if (!w) return raise(w.error());
    const double y = *w;
    bool result;
    switch (op) {
        case Py_LT: result = y > x; break;
        case Py_LE: result = y >= x; break;
        case Py_EQ: result = x == y; break;
        case Py_NE: result = x != y; break;
        case Py_GT: result = x > y; break;
        case Py_GE: result = y <= x; break;
        default: return raise_internal_fault("invalid compareop");
    }
    return PyBool_FromLong(result);
}

// ---- conversion ----------------------------------------------------------------------------

// Binds `other` as a quantity with its note.
bool other_quantity(PyObject *arg, Operand &out) {
    if (coerce_to_quantity(arg, out, OnFailure::raise)) return true;
    add_processing_note("other");
    return false;
}

PyObject *Modrin_as_unit(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.as_unit()", {"other"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    ModrinObject *obj = as_obj(self);
    Result<double> r = 0.0;
    SharedUnits target;
    {
        SharedAccess access(obj->access);
        if (!access) return nullptr;
        Operand t;
        if (!other_quantity(arg[0], t)) return nullptr;
        HeldUnits held(obj);
        r = convert(obj->value, held.get(), *t.units);
        if (r) target = t.units == &t.parsed ? std::move(t.parsed) : *t.units;
    }
    if (!r) return raise(r.error());
    return new_modrin(Py_TYPE(self), *r, std::move(target));
}

// Only a Python bool or a NumPy boolean scalar: an integer is not a flag.
bool bind_bool(PyObject *obj, const char *param, bool &out) {
    if (PyBool_Check(obj)) {
        out = obj == Py_True;
        return true;
    }
    PyTypeObject *type = Py_TYPE(obj);
    PyObject *module = PyType_GetModuleName(type);
    PyObject *name = module != nullptr ? PyType_GetName(type) : nullptr;
    bool numpy_bool = false;
    if (module != nullptr && name != nullptr)
        numpy_bool = PyUnicode_EqualToUTF8(module, "numpy") &&
                     (PyUnicode_EqualToUTF8(name, "bool") || PyUnicode_EqualToUTF8(name, "bool_"));
    Py_XDECREF(module);
    Py_XDECREF(name);
    PyErr_Clear();
    if (numpy_bool) {
        int truth = PyObject_IsTrue(obj);
        if (truth >= 0) {
            out = truth == 1;
            return true;
        }
    } else {
        raise_not_instance(obj, "bool");
    }
    add_processing_note(param);
    return false;
}

PyObject *Modrin_as_number(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.as_number()", {"other", "scale"}, 0};
    PyObject *arg[2];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    ModrinObject *obj = as_obj(self);
    Result<double> r = 0.0;
    double divisor = 1.0;
    {
        SharedAccess access(obj->access);
        if (!access) return nullptr;
        const bool has_other = arg[0] != nullptr && arg[0] != Py_None;
        Operand t;
        if (has_other && !other_quantity(arg[0], t)) return nullptr;
        bool scale = false;
        if (arg[1] != nullptr && !bind_bool(arg[1], "scale", scale)) return nullptr;
        if (!has_other) return PyFloat_FromDouble(obj->value);
        r = convert(obj->value, HeldUnits(obj).get(), *t.units);
        if (scale) divisor = t.value;
    }
    if (!r) return raise(r.error());
    return PyFloat_FromDouble(*r / divisor);
}

// A copy of the instance moved into a derived form of its units.
template <class Form>
PyObject *converted(PyObject *self, Form &&form_of) {
    SharedQuantity q;
    if (!copy_out(self, q)) return nullptr;
    return new_quantity(self, into(form_of(q.units), q.value, q.units));
}

PyObject *Modrin_as_base_units(PyObject *self, PyObject *const *args, Py_ssize_t n,
                               PyObject *kw) {
    static const Signature sig{"Modrin.as_base_units()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return converted(self, [](const SharedUnits &u) -> const Derived & { return base_form(u); });
}

PyObject *Modrin_simplify(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.simplify()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return converted(self, [](const SharedUnits &u) -> const Derived & { return full_form(u); });
}

PyObject *Modrin_simplify_inplace(PyObject *self, PyObject *const *args, Py_ssize_t n,
                                  PyObject *kw) {
    static const Signature sig{"Modrin.simplify_inplace()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    ModrinObject *obj = as_obj(self);
    ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    const Derived *form;
    {
        HeldUnits held(obj);
        form = &full_form(held.get());
    }
    obj->value = form->conversion.apply(obj->value);
    if (form->target) replace_units(obj->access, form->target);
    Py_RETURN_NONE;
}

// The number as a plain float after conversion to the unitless collection, or an error.
bool unitless_value(PyObject *self, double &out) {
    ModrinObject *obj = as_obj(self);
    SharedAccess access(obj->access);
    if (!access) return false;
    Result<double> r = convert(obj->value, HeldUnits(obj).get(), SharedUnits::unitless());
    access.release();
    if (!r) {
        raise(r.error());
        return false;
    }
    out = *r;
    return true;
}

PyObject *Modrin_as_unitless(PyObject *self, PyObject *const *args, Py_ssize_t n,
                             PyObject *kw) {
    static const Signature sig{"Modrin.as_unitless()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    double v;
    if (!unitless_value(self, v)) return nullptr;
    return PyFloat_FromDouble(v);
}

PyObject *Modrin_float(PyObject *self) {
    ModrinObject *obj = as_obj(self);
    SharedAccess access(obj->access);
    if (!access) return nullptr;
    return PyFloat_FromDouble(obj->value);
}

// Exactly int(float(q)): truncation at any magnitude, ValueError for NaN, OverflowError for
// the infinities.
PyObject *Modrin_int(PyObject *self) {
    ModrinObject *obj = as_obj(self);
    SharedAccess access(obj->access);
    if (!access) return nullptr;
    const double v = obj->value;
    access.release();
    return PyLong_FromDouble(v);
}

// ---- rounding and transcendental functions -------------------------------------------------

// Rounding takes exclusive access first, then converts its argument (which may run Python
// code), then simplifies the instance in place and rounds a copy of its number.
template <class Round>
PyObject *rounded(PyObject *self, PyObject *count, const char *param, Round &&round_value) {
    ModrinObject *obj = as_obj(self);
    ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    std::int64_t n = 0;
    const bool has_count = count != nullptr && count != Py_None;
    if (has_count && !bind_int32(count, param, n)) return nullptr;
    simplify_in_place_locked(obj);
    const double v = round_value(obj->value, has_count, n);
    SharedUnits units = HeldUnits(obj).get();
    access.release();
    return new_modrin(Py_TYPE(self), v, std::move(units));
}

PyObject *Modrin_round(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.__round__()", {"ndigits"}, 0};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    return rounded(self, arg[0], "ndigits", [](double v, bool has_digits, std::int64_t d) {
        return has_digits ? round_to_places(v, d) : std::round(v);
    });
}

PyObject *Modrin_round_sfig(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"Modrin.round_sfig()", {"n_sig_figs"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    if (arg[0] == Py_None) {
        raise_not_instance(arg[0], "int");
        add_processing_note("n_sig_figs");
        return nullptr;
    }
    return rounded(self, arg[0], "n_sig_figs", [](double v, bool, std::int64_t figures) {
        return round_sig_figs(v, figures);
    });
}

template <double (*F)(double)>
PyObject *transcendental(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw,
                         const Signature &sig) {
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    double v;
    if (!unitless_value(self, v)) return nullptr;
    return PyFloat_FromDouble(F(v));
}

double c_exp(double x) { return std::exp(x); }
double c_log(double x) { return std::log(x); }
double c_log10(double x) { return std::log10(x); }

#define MODRIN_TRANSCENDENTAL(fn, cfn, label)                                                  \
    PyObject *Modrin_##fn(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) { \
        static const Signature sig{label, {}, 0};                                              \
        return transcendental<cfn>(self, args, n, kw, sig);                                    \
    }
MODRIN_TRANSCENDENTAL(exp, c_exp, "Modrin.exp()")
MODRIN_TRANSCENDENTAL(dunder_exp, c_exp, "Modrin.__exp__()")
MODRIN_TRANSCENDENTAL(log, c_log, "Modrin.log()")
MODRIN_TRANSCENDENTAL(dunder_log, c_log, "Modrin.__log__()")
MODRIN_TRANSCENDENTAL(log10, c_log10, "Modrin.log10()")
MODRIN_TRANSCENDENTAL(dunder_log10, c_log10, "Modrin.__log10__()")
#undef MODRIN_TRANSCENDENTAL

// ---- the class -----------------------------------------------------------------------------

constexpr int METHOD = METH_FASTCALL | METH_KEYWORDS;
constexpr int CLASS_METHOD = METH_FASTCALL | METH_KEYWORDS | METH_CLASS;

PyMethodDef Modrin_methods[] = {
    {"unit", fastcall<Modrin_unit>(), CLASS_METHOD, "unit($cls, unit_name_or_symbol)\n--\n\n"},
    {"constant", fastcall<Modrin_constant>(), CLASS_METHOD, "constant($cls, constant_name)\n--\n\n"},
    {"empty", fastcall<Modrin_empty>(), CLASS_METHOD, "empty($cls)\n--\n\n"},
    {"custom", fastcall<Modrin_custom>(), CLASS_METHOD,
     "custom($cls, name, abbr, definition)\n--\n\n"},
    {"as_unit", fastcall<Modrin_as_unit>(), METHOD, "as_unit($self, other)\n--\n\n"},
    {"as_number", fastcall<Modrin_as_number>(), METHOD,
     "as_number($self, other=None, scale=False)\n--\n\n"},
    {"as_unitless", fastcall<Modrin_as_unitless>(), METHOD, "as_unitless($self)\n--\n\n"},
    {"as_base_units", fastcall<Modrin_as_base_units>(), METHOD, "as_base_units($self)\n--\n\n"},
    {"round_sfig", fastcall<Modrin_round_sfig>(), METHOD, "round_sfig($self, n_sig_figs)\n--\n\n"},
    {"simplify", fastcall<Modrin_simplify>(), METHOD, "simplify($self)\n--\n\n"},
    {"simplify_inplace", fastcall<Modrin_simplify_inplace>(), METHOD,
     "simplify_inplace($self)\n--\n\n"},
    {"__div__", fastcall<explicit_division<false>>(), METHOD, "__div__($self, other)\n--\n\n"},
    {"__rdiv__", fastcall<explicit_division<true>>(), METHOD, "__rdiv__($self, other)\n--\n\n"},
    {"__round__", fastcall<Modrin_round>(), METHOD, "__round__($self, ndigits=None)\n--\n\n"},
    {"__exp__", fastcall<Modrin_dunder_exp>(), METHOD, "__exp__($self)\n--\n\n"},
    {"exp", fastcall<Modrin_exp>(), METHOD, "exp($self)\n--\n\n"},
    {"__log__", fastcall<Modrin_dunder_log>(), METHOD, "__log__($self)\n--\n\n"},
    {"log", fastcall<Modrin_log>(), METHOD, "log($self)\n--\n\n"},
    {"__log10__", fastcall<Modrin_dunder_log10>(), METHOD, "__log10__($self)\n--\n\n"},
    {"log10", fastcall<Modrin_log10>(), METHOD, "log10($self)\n--\n\n"},
    {"descriptive", fastcall<Modrin_descriptive>(), METHOD, "descriptive($self)\n--\n\n"},
    {"latex", fastcall<Modrin_latex>(), METHOD, "latex($self)\n--\n\n"},
    {"__format__", fastcall<Modrin_format>(), METHOD, "__format__($self, format_spec)\n--\n\n"},
    {"_repr_latex_", fastcall<Modrin_repr_latex>(), METHOD, "_repr_latex_($self)\n--\n\n"},
    {"__reduce__", fastcall<Modrin_reduce>(), METHOD, "__reduce__($self)\n--\n\n"},
    {"_reconstruct", fastcall<Modrin_reconstruct>(), CLASS_METHOD,
     "_reconstruct($cls, value, units, base_exponents, factor)\n--\n\n"},
    {"__array_ufunc__", fastcall<array::modrin_array_ufunc>(), METHOD,
     "__array_ufunc__($self, ufunc, method, /, *inputs, **kwargs)\n--\n\n"
     "NumPy ufuncs on Modrins and arrays, through modrin_array."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot Modrin_slots[] = {
    {Py_tp_doc, const_cast<char *>("Unit! yippee")},
    {Py_tp_dealloc, raw_slot(modrin_dealloc)},
    {Py_tp_traverse, slot_fn<Modrin_traverse>()},
    {Py_tp_clear, slot_fn<Modrin_clear>()},
    {Py_tp_hash, raw_slot(PyObject_HashNotImplemented)},
    {Py_tp_str, slot_fn<Modrin_str>()},
    {Py_tp_repr, slot_fn<Modrin_str>()},
    {Py_tp_richcompare, slot_fn<Modrin_richcompare>()},
    {Py_tp_methods, Modrin_methods},
    {Py_nb_add, slot_fn<Modrin_add>()},
    {Py_nb_subtract, slot_fn<Modrin_subtract>()},
    {Py_nb_multiply, slot_fn<Modrin_multiply>()},
    {Py_nb_true_divide, slot_fn<Modrin_true_divide>()},
    {Py_nb_power, slot_fn<Modrin_power>()},
    {Py_nb_negative, slot_fn<Modrin_negative>()},
    {Py_nb_positive, slot_fn<Modrin_positive>()},
    {Py_nb_absolute, slot_fn<Modrin_absolute>()},
    {Py_nb_float, slot_fn<Modrin_float>()},
    {Py_nb_int, slot_fn<Modrin_int>()},
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

}  // namespace

PyTypeObject *create_modrin_type() {
    return reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&Modrin_spec));
}

PyObject *new_modrin(PyTypeObject *type, double value, SharedUnits units) {
    const auto record = reinterpret_cast<std::uintptr_t>(units.record());
    if (!AccessFlag::fits(record)) throw std::runtime_error("a units record beyond 48-bit addresses");
    // Every field is set below, so the allocation skips tp_alloc's zero-filling.
    auto *obj = PyObject_GC_New(ModrinObject, type);
    if (obj == nullptr) return nullptr;
    PyObject *self = reinterpret_cast<PyObject *>(obj);
    std::construct_at(&obj->access);
    obj->access.set_payload(reinterpret_cast<std::uintptr_t>(units.release()));
    obj->value = value;
    PyObject_GC_Track(self);
    return self;
}

}  // namespace modrin::py
