// The LogModrin class: a count of a logarithmic unit (bel, decibel, neper, semitone) standing
// for the ratio base^count. Instances never change after creation.
#include <atomic>
#include <cmath>
#include <new>
#include <string>

#include "error/py_error.hpp"
#include "lib/binder.hpp"
#include "lib/coerce.hpp"
#include "lib/objects.hpp"
#include "lib/protocols.hpp"
#include "lib/raise.hpp"
#include "unit/number_text.hpp"
#include "unit/rounding.hpp"

namespace modrin::py {

namespace {

LogModrinObject *as_obj(PyObject *self) { return reinterpret_cast<LogModrinObject *>(self); }

// The fields of an instance, copied under shared access.
struct LogValue {
    const LogUnitDef *unit;
    double value;
    double ratio() const { return std::pow(unit->base, value); }
};

bool copy_out(PyObject *self, LogValue &out) {
    LogModrinObject *obj = as_obj(self);
    SharedAccess access(obj->access);
    if (!access) return false;
    out = {&log_unit_of(obj), obj->value};
    return true;
}

// The count that a ratio has in a unit of the given base.
double count_in(double ratio, double base) { return std::log(ratio) / std::log(base); }

}  // namespace

void log_modrin_dealloc(PyObject *self) noexcept {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    type->tp_free(self);
    Py_DECREF(type);
}

namespace {

int LogModrin_traverse(PyObject *self, visitproc visit, void *arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int LogModrin_clear(PyObject *) { return 0; }

PyObject *LogModrin_unit(PyObject *cls, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"LogModrin.unit()", {"unit_name_or_symbol"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    auto text = bind_str(arg[0], "unit_name_or_symbol");
    if (!text) return nullptr;
    const LogUnitDef *unit = search_for_log_unit_name(*text);
    if (unit == nullptr) return raise(log_unit_not_found(*text));
    return new_log_modrin(reinterpret_cast<PyTypeObject *>(cls), *unit, 1.0);
}

PyObject *LogModrin_str(PyObject *self) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    std::string text = number_text(x.value);
    text += " [";
    text += x.unit->symbol;
    text += ']';
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

// `other` of as_unit and as_number: a LogModrin, read under its own shared access.
bool other_log(PyObject *other, LogValue &out) {
    if (!is_log_modrin(other)) {
        raise_not_instance(other, "LogModrin");
        add_processing_note("other");
        return false;
    }
    if (copy_out(other, out)) return true;
    add_processing_note("other");
    return false;
}

PyObject *LogModrin_as_unit(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"LogModrin.as_unit()", {"other"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    LogValue x, target;
    if (!copy_out(self, x) || !other_log(arg[0], target)) return nullptr;
    return new_log_modrin(Py_TYPE(self), *target.unit, count_in(x.ratio(), target.unit->base));
}

PyObject *LogModrin_as_number(PyObject *self, PyObject *const *args, Py_ssize_t n,
                              PyObject *kw) {
    static const Signature sig{"LogModrin.as_number()", {"other"}, 0};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    if (arg[0] == nullptr || arg[0] == Py_None) return PyFloat_FromDouble(x.value);
    LogValue target;
    if (!other_log(arg[0], target)) return nullptr;
    return PyFloat_FromDouble(count_in(x.ratio(), target.unit->base));
}

PyObject *LogModrin_as_unitless(PyObject *self, PyObject *const *args, Py_ssize_t n,
                                PyObject *kw) {
    static const Signature sig{"LogModrin.as_unitless()", {}, 0};
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    return PyFloat_FromDouble(x.ratio());
}

PyObject *LogModrin_round_sfig(PyObject *self, PyObject *const *args, Py_ssize_t n,
                               PyObject *kw) {
    static const Signature sig{"LogModrin.round_sfig()", {"n_sig_figs"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    LogModrinObject *obj = as_obj(self);
    ExclusiveAccess access(obj->access);
    if (!access) return nullptr;
    std::int64_t figures = 0;
    if (!bind_int32(arg[0], "n_sig_figs", figures)) return nullptr;
    return PyFloat_FromDouble(round_sig_figs(std::pow(log_unit_of(obj).base, obj->value), figures,
                                                     Powers::repeated));
}

PyObject *LogModrin_round(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{"LogModrin.__round__()", {"ndigits"}, 0};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    if (arg[0] == nullptr || arg[0] == Py_None) return PyFloat_FromDouble(std::round(x.ratio()));
    std::int64_t digits = 0;
    if (!bind_int32(arg[0], "ndigits", digits)) return nullptr;
    return PyFloat_FromDouble(round_to_places(x.ratio(), digits, Powers::repeated));
}

// ---- arithmetic ----------------------------------------------------------------------------

enum class Op { add, sub, mul, div, pow };

// The other operand: a plain number, or another LogModrin (whose ratio is `number`).
struct Operand {
    double number;  // the number itself, or the LogModrin's ratio
    bool is_log;
};

bool read_operand(PyObject *x, Operand &out, OnFailure on_failure) {
    out.is_log = is_log_modrin(x);
    return coerce_to_number(x, out.number, on_failure);
}

// L op n (forward) or n op L (reflected), as a new LogModrin or a float.
PyObject *apply(PyTypeObject *type, Op op, const LogValue &l, const Operand &n, bool reflected) {
    const double r = l.ratio();
    const double m = n.number;
    auto log_result = [&](double value) { return new_log_modrin(type, *l.unit, value); };
    switch (op) {
        case Op::add:
            if (n.is_log) return log_result(l.value + count_in(m, l.unit->base));
            return PyFloat_FromDouble(r + m);
        case Op::sub:
            if (n.is_log)
                return log_result(reflected ? count_in(m, l.unit->base) - l.value
                                            : l.value - count_in(m, l.unit->base));
            return PyFloat_FromDouble(reflected ? m - r : r - m);
        case Op::mul:
            if (n.is_log) return PyFloat_FromDouble(r * m);
            return log_result(l.value * m);
        case Op::div:
            if (reflected) return PyFloat_FromDouble(m / r);
            if (n.is_log) return PyFloat_FromDouble(r / m);
            return log_result(l.value / m);
        case Op::pow:
            return PyFloat_FromDouble(reflected ? std::pow(m, r) : std::pow(r, m));
    }
    Py_RETURN_NOTIMPLEMENTED;  // unreachable: every Op is handled
}

// One attempt with `self` as the LogModrin; nullptr without an error means NotImplemented.
PyObject *attempt(Op op, PyObject *self, PyObject *other, PyObject *modulus, bool reflected,
                  bool &not_implemented) {
    not_implemented = true;
    LogValue l;
    if (!copy_out(self, l)) {
        PyErr_Clear();
        return nullptr;
    }
    Operand n;
    if (!read_operand(other, n, OnFailure::discard)) return nullptr;
    if (!modulus_accepted(modulus)) return nullptr;
    not_implemented = false;
    return apply(Py_TYPE(self), op, l, n, reflected);
}

PyObject *binary(Op op, PyObject *left, PyObject *right, PyObject *modulus = nullptr) {
    return dispatch_binary(is_log_modrin, left, right, [&](PyObject *self, PyObject *other,
                                                           bool reflected, bool &not_impl) {
        return attempt(op, self, other, modulus, reflected, not_impl);
    });
}

PyObject *LogModrin_add(PyObject *l, PyObject *r) { return binary(Op::add, l, r); }
PyObject *LogModrin_subtract(PyObject *l, PyObject *r) { return binary(Op::sub, l, r); }
PyObject *LogModrin_multiply(PyObject *l, PyObject *r) { return binary(Op::mul, l, r); }
PyObject *LogModrin_true_divide(PyObject *l, PyObject *r) { return binary(Op::div, l, r); }
PyObject *LogModrin_power(PyObject *l, PyObject *r, PyObject *m) {
    return binary(Op::pow, l, r, m);
}

template <bool Reflected>
PyObject *explicit_division(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const Signature sig{Reflected ? "LogModrin.__rdiv__()" : "LogModrin.__div__()",
                               {"other"}, 1};
    PyObject *arg[1];
    if (!bind(sig, args, n, kw, arg)) return nullptr;
    LogValue l;
    if (!copy_out(self, l)) return nullptr;
    Operand o;
    if (!read_operand(arg[0], o, OnFailure::raise)) {
        add_processing_note("other");
        return nullptr;
    }
    return apply(Py_TYPE(self), Op::div, l, o, Reflected);
}

PyObject *LogModrin_negative(PyObject *self) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    return new_log_modrin(Py_TYPE(self), *x.unit, -x.value);
}

PyObject *LogModrin_positive(PyObject *self) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    return new_log_modrin(Py_TYPE(self), *x.unit, x.value);
}

template <double (*F)(double)>
PyObject *of_ratio(PyObject *self) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    return PyFloat_FromDouble(F(x.ratio()));
}

double identity(double x) { return x; }
double c_fabs(double x) { return std::fabs(x); }
double c_exp(double x) { return std::exp(x); }
double c_log(double x) { return std::log(x); }
double c_log10(double x) { return std::log10(x); }

// Exactly int(float(ratio)): ValueError for NaN, OverflowError for the infinities.
PyObject *LogModrin_int(PyObject *self) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    return PyLong_FromDouble(x.ratio());
}

template <double (*F)(double)>
PyObject *ratio_method(PyObject *self, PyObject *const *args, Py_ssize_t n, PyObject *kw,
                       const Signature &sig) {
    if (!bind(sig, args, n, kw, nullptr)) return nullptr;
    return of_ratio<F>(self);
}

#define LOG_MODRIN_RATIO_METHOD(fn, cfn, label)                                           \
    PyObject *LogModrin_##fn(PyObject *self, PyObject *const *args, Py_ssize_t n,         \
                             PyObject *kw) {                                              \
        static const Signature sig{label, {}, 0};                                         \
        return ratio_method<cfn>(self, args, n, kw, sig);                                 \
    }
LOG_MODRIN_RATIO_METHOD(exp, c_exp, "LogModrin.exp()")
LOG_MODRIN_RATIO_METHOD(dunder_exp, c_exp, "LogModrin.__exp__()")
LOG_MODRIN_RATIO_METHOD(log, c_log, "LogModrin.log()")
LOG_MODRIN_RATIO_METHOD(dunder_log, c_log, "LogModrin.__log__()")
LOG_MODRIN_RATIO_METHOD(log10, c_log10, "LogModrin.log10()")
LOG_MODRIN_RATIO_METHOD(dunder_log10, c_log10, "LogModrin.__log10__()")
#undef LOG_MODRIN_RATIO_METHOD

PyObject *LogModrin_richcompare(PyObject *self, PyObject *other, int op) {
    LogValue x;
    if (!copy_out(self, x)) return nullptr;
    Operand o;
    if (!read_operand(other, o, OnFailure::discard)) Py_RETURN_NOTIMPLEMENTED;
    const double a = x.ratio(), b = o.number;
    bool result;
    switch (op) {
        case Py_LT: result = a < b; break;
        case Py_LE: result = a <= b; break;
        case Py_EQ: result = a == b; break;
        case Py_NE: result = a != b; break;
        case Py_GT: result = a > b; break;
        case Py_GE: result = a >= b; break;
        default: return raise_internal_fault("invalid compareop");
    }
    return PyBool_FromLong(result);
}

constexpr int METHOD = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef LogModrin_methods[] = {
    {"unit", fastcall<LogModrin_unit>(), METHOD | METH_CLASS,
     "unit($cls, unit_name_or_symbol)\n--\n\n"},
    {"as_unit", fastcall<LogModrin_as_unit>(), METHOD, "as_unit($self, other)\n--\n\n"},
    {"as_number", fastcall<LogModrin_as_number>(), METHOD,
     "as_number($self, other=None)\n--\n\n"},
    {"as_unitless", fastcall<LogModrin_as_unitless>(), METHOD, "as_unitless($self)\n--\n\n"},
    {"round_sfig", fastcall<LogModrin_round_sfig>(), METHOD,
     "round_sfig($self, n_sig_figs)\n--\n\n"},
    {"__div__", fastcall<explicit_division<false>>(), METHOD, "__div__($self, other)\n--\n\n"},
    {"__rdiv__", fastcall<explicit_division<true>>(), METHOD, "__rdiv__($self, other)\n--\n\n"},
    {"__round__", fastcall<LogModrin_round>(), METHOD, "__round__($self, ndigits=None)\n--\n\n"},
    {"__exp__", fastcall<LogModrin_dunder_exp>(), METHOD, "__exp__($self)\n--\n\n"},
    {"exp", fastcall<LogModrin_exp>(), METHOD, "exp($self)\n--\n\n"},
    {"__log__", fastcall<LogModrin_dunder_log>(), METHOD, "__log__($self)\n--\n\n"},
    {"log", fastcall<LogModrin_log>(), METHOD, "log($self)\n--\n\n"},
    {"__log10__", fastcall<LogModrin_dunder_log10>(), METHOD, "__log10__($self)\n--\n\n"},
    {"log10", fastcall<LogModrin_log10>(), METHOD, "log10($self)\n--\n\n"},
    {"__format__", fastcall<LogModrin_format>(), METHOD,
     "__format__($self, format_spec)\n--\n\n"},
    {"__reduce__", fastcall<LogModrin_reduce>(), METHOD, "__reduce__($self)\n--\n\n"},
    {"_reconstruct", fastcall<LogModrin_reconstruct>(), METHOD | METH_CLASS,
     "_reconstruct($cls, name, symbol, base, value)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot LogModrin_slots[] = {
    {Py_tp_dealloc, raw_slot(log_modrin_dealloc)},
    {Py_tp_traverse, slot_fn<LogModrin_traverse>()},
    {Py_tp_clear, slot_fn<LogModrin_clear>()},
    {Py_tp_hash, raw_slot(PyObject_HashNotImplemented)},
    {Py_tp_str, slot_fn<LogModrin_str>()},
    {Py_tp_repr, slot_fn<LogModrin_str>()},
    {Py_tp_richcompare, slot_fn<LogModrin_richcompare>()},
    {Py_tp_methods, LogModrin_methods},
    {Py_nb_add, slot_fn<LogModrin_add>()},
    {Py_nb_subtract, slot_fn<LogModrin_subtract>()},
    {Py_nb_multiply, slot_fn<LogModrin_multiply>()},
    {Py_nb_true_divide, slot_fn<LogModrin_true_divide>()},
    {Py_nb_power, slot_fn<LogModrin_power>()},
    {Py_nb_negative, slot_fn<LogModrin_negative>()},
    {Py_nb_positive, slot_fn<LogModrin_positive>()},
    {Py_nb_absolute, slot_fn<of_ratio<c_fabs>>()},
    {Py_nb_float, slot_fn<of_ratio<identity>>()},
    {Py_nb_int, slot_fn<LogModrin_int>()},
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

}  // namespace

PyTypeObject *create_log_modrin_type() {
    return reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&LogModrin_spec));
}

PyObject *new_log_modrin(PyTypeObject *type, const LogUnitDef &unit, double value) {
    // Every field is set below, so the allocation skips tp_alloc's zero-filling.
    auto *obj = PyObject_GC_New(LogModrinObject, type);
    if (obj == nullptr) return nullptr;
    std::construct_at(&obj->access);
    obj->access.set_payload(reinterpret_cast<std::uintptr_t>(&unit));
    obj->value = value;
    PyObject_GC_Track(obj);
    return reinterpret_cast<PyObject *>(obj);
}

}  // namespace modrin::py
