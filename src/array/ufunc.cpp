// NumPy's ufunc protocol, __array_ufunc__ of ModrinArray and of Modrin. One table gives every
// ufunc NumPy has a rule for its units; a ufunc without one, given units, raises TypeError
// naming itself, so no unit is dropped on the way.
#include <cstdint>
#include <iterator>

#include "array/array.hpp"
#include "array/hooks.hpp"
#include "lib/raise.hpp"

namespace modrin::array {

namespace {

enum class Rule : std::uint8_t {
    same,          // operands converted into the first quantity's units; results in them
    sign_of,       // copysign: the first operand's units; the second lends only its sign
    ldexp,         // the first operand's units; the second an integer exponent
    divmod,        // of converted operands: a unitless quotient, a remainder in the units
    floor_divide,  // of converted operands: a unitless quotient
    product,       // units multiply
    quotient,      // units divide
    power,         // the exponent rules of **
    square,
    sqrt,
    cbrt,
    reciprocal,
    compare,   // of converted operands: a plain bool result
    ratio,     // of converted operands: a unitless result
    plain,     // NumPy's result on the numbers as they are, whatever the units
    unitless,  // operands converted into the unitless collection; unitless results
    angle,     // numbers without units only
};

// The operators' own element loops, for plain calls: their elements equal Modrin's.
enum class Fast : std::uint8_t {
    none, add, sub, mul, div, pow, lt, le, eq, ne, gt, ge,
    neg, pos, abs, square, reciprocal, sqrt, exp, log, log10,
};

struct UfuncRule {
    const char *name;
    Rule rule;
    Fast fast = Fast::none;
};

// The operators first, as they are looked up most.
constexpr UfuncRule RULES[] = {
    {"add", Rule::same, Fast::add},
    {"subtract", Rule::same, Fast::sub},
    {"multiply", Rule::product, Fast::mul},
    {"divide", Rule::quotient, Fast::div},
    {"power", Rule::power, Fast::pow},
    {"less", Rule::compare, Fast::lt},
    {"less_equal", Rule::compare, Fast::le},
    {"equal", Rule::compare, Fast::eq},
    {"not_equal", Rule::compare, Fast::ne},
    {"greater", Rule::compare, Fast::gt},
    {"greater_equal", Rule::compare, Fast::ge},
    {"negative", Rule::same, Fast::neg},
    {"positive", Rule::same, Fast::pos},
    {"absolute", Rule::same, Fast::abs},
    {"square", Rule::square, Fast::square},
    {"reciprocal", Rule::reciprocal, Fast::reciprocal},
    {"sqrt", Rule::sqrt, Fast::sqrt},
    {"exp", Rule::unitless, Fast::exp},
    {"log", Rule::unitless, Fast::log},
    {"log10", Rule::unitless, Fast::log10},
    {"float_power", Rule::power, Fast::pow},
    {"maximum", Rule::same},
    {"minimum", Rule::same},
    {"fmax", Rule::same},
    {"fmin", Rule::same},
    {"hypot", Rule::same},
    {"remainder", Rule::same},
    {"fmod", Rule::same},
    {"nextafter", Rule::same},
    {"fabs", Rule::same},
    {"rint", Rule::same},
    {"floor", Rule::same},
    {"ceil", Rule::same},
    {"trunc", Rule::same},
    {"conjugate", Rule::same},
    {"spacing", Rule::same},
    {"modf", Rule::same},
    {"copysign", Rule::sign_of},
    {"ldexp", Rule::ldexp},
    {"divmod", Rule::divmod},
    {"floor_divide", Rule::floor_divide},
    {"matmul", Rule::product},
    {"vecdot", Rule::product},
    {"matvec", Rule::product},
    {"vecmat", Rule::product},
    {"cbrt", Rule::cbrt},
    {"arctan2", Rule::ratio},
    {"isfinite", Rule::plain},
    {"isinf", Rule::plain},
    {"isnan", Rule::plain},
    {"signbit", Rule::plain},
    {"sign", Rule::plain},
    {"exp2", Rule::unitless},
    {"expm1", Rule::unitless},
    {"log2", Rule::unitless},
    {"log1p", Rule::unitless},
    {"logaddexp", Rule::unitless},
    {"logaddexp2", Rule::unitless},
    {"sin", Rule::unitless},
    {"cos", Rule::unitless},
    {"tan", Rule::unitless},
    {"arcsin", Rule::unitless},
    {"arccos", Rule::unitless},
    {"arctan", Rule::unitless},
    {"sinh", Rule::unitless},
    {"cosh", Rule::unitless},
    {"tanh", Rule::unitless},
    {"arcsinh", Rule::unitless},
    {"arccosh", Rule::unitless},
    {"arctanh", Rule::unitless},
    {"deg2rad", Rule::angle},
    {"rad2deg", Rule::angle},
    {"degrees", Rule::angle},
    {"radians", Rule::angle},
};
static_assert(std::size(RULES) == UFUNC_COUNT);
constexpr int EQUAL = 7, NOT_EQUAL = 8;
static_assert(RULES[EQUAL].fast == Fast::eq && RULES[NOT_EQUAL].fast == Fast::ne);

enum class Method : std::uint8_t { call, reduce, accumulate, reduceat, outer, at };
constexpr const char *METHOD_NAMES[] = {"__call__", "reduce", "accumulate",
                                        "reduceat", "outer",  "at"};

PyObject *name_of(PyObject *callable) {
    PyObject *name = PyObject_GetAttrString(callable, "__name__");
    if (name == nullptr) {
        PyErr_Clear();
        name = PyObject_Repr(callable);
    }
    return name;
}

PyObject *refuse_ufunc(PyObject *ufunc, const char *why) {
    PyObject *name = name_of(ufunc);
    if (name == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "ufunc '%U' %s", name, why);
    Py_DECREF(name);
    return nullptr;
}
bool refused(PyObject *ufunc, const char *why) {
    refuse_ufunc(ufunc, why);
    return false;
}

bool is_unitless(const SharedUnits &u) { return u.record() == SharedUnits::unitless().record(); }

// The units a plan gives a result and the conversion into them; false with the refusal raised.
template <class Plan>
bool made_by(const Result<Plan> &plan, Target &made) {
    if (!plan) {
        py::raise(plan.error());
        return false;
    }
    made = {false, plan->units, plan->raw, plan->post};
    return true;
}

// A ufunc call as NumPy hands it over: the inputs, the operands among them (the others are
// indices), and the keywords.
struct Call {
    State *st = nullptr;
    PyObject *ufunc = nullptr;
    const UfuncRule *rule = nullptr;
    Method method = Method::call;
    PyObject *const *inputs = nullptr;
    int ninputs = 0;
    int operand_at[3] = {};  // the input index of each operand
    int noperands = 0;
    Arg operands[3];
    PyObject *out = nullptr;    // NumPy's tuple, or null
    PyObject *where = nullptr;  // borrowed, or null
    PyObject *axis = nullptr;
    PyObject *initial = nullptr;
    PyObject *kwnames = nullptr;
    PyObject *const *kwvalues = nullptr;
    SharedUnits initial_into;  // the units a start value converts into (empty: as it is)
    bool arrays = false;  // an array among the operands
    bool with_units = false;
};

// The numbers of `x` in `to`, as NumPy's ufunc takes them.
PyObject *numbers_in(const Arg &x, const SharedUnits &to) {
    if (x.units.record() == to.record()) {
        if (x.array != nullptr) return Py_NewRef(reinterpret_cast<PyObject *>(x.array));
        if (!x.quantity && PyLong_Check(x.source)) return Py_NewRef(x.source);
        return PyFloat_FromDouble(x.scalar);
    }
    Result<ConversionPlan> plan = plan_conversion(x.units, to);
    if (!plan) return py::raise(plan.error());
    return reinterpret_cast<PyObject *>(converted(*plan, x));
}

// The units of every result and the units each operand is handed to NumPy in (null: its
// object as it is); false with TypeError set when the rule refuses.
bool plan_results(Call &c, Target (&made)[2], SharedUnits (&into)[3], bool (&as_is)[3]) {
    const Rule rule = c.rule->rule;
    const Method m = c.method;
    const bool units = c.with_units;
    const char *method_name = METHOD_NAMES[static_cast<int>(m)];
    const auto refuse_method = [&] {
        PyObject *name = name_of(c.ufunc);
        if (name != nullptr) {
            PyErr_Format(PyExc_TypeError,
                         "ufunc '%U' does not support %s with ModrinArray operands with units",
                         name, method_name);
            Py_DECREF(name);
        }
        return false;
    };
    const bool folds = m == Method::reduce || m == Method::accumulate || m == Method::reduceat;
    // The first quantity's units, into which operands convert; ufunc.at writes into its first.
    SharedUnits ref = SharedUnits::unitless();
    if (m == Method::at) {
        ref = c.operands[0].units;
    } else {
        for (int i = 0; i < c.noperands; ++i)
            if (c.operands[i].quantity) {
                ref = c.operands[i].units;
                break;
            }
    }
    for (int i = 0; i < c.noperands; ++i) into[i] = ref;
    c.initial_into = ref;
    made[0] = in_units(ref);
    made[1] = in_units(ref);
    // ufunc.at leaves the units of its array alone: any other rule would change them.
    const auto at_keeps_units = [&](bool ok) {
        if (m != Method::at || !units || ok) return true;
        return refuse_method();
    };
    switch (rule) {
        case Rule::same:
            if (folds && (c.rule->fast == Fast::add || c.rule->fast == Fast::sub)) {
                // Sums in the units a sum of two elements has, as a + b gives them.
                if (!made_by(plan_operation(Op::add, ref, ref, false), made[0])) return false;
                made[0].raw = ref;  // a sum's raw number is in self's units
            }
            return true;
        case Rule::sign_of:
        case Rule::ldexp:
            made[0] = in_units(c.operands[0].units);
            into[0] = c.operands[0].units;
            if (c.noperands > 1) {
                // Handed over without conversion: a sign, or an integer exponent that a plain
                // operand keeps as NumPy reads it.
                const Arg &second = c.operands[1];
                if (rule == Rule::ldexp && !is_unitless(second.units))
                    return refused(c.ufunc, "takes an exponent without units");
                into[1] = second.units;
                as_is[1] = !second.quantity;
            }
            return !folds || !units || refuse_method();
        case Rule::divmod:
        case Rule::floor_divide:
            made[0] = in_units(SharedUnits::unitless());
            if ((folds || m == Method::at) && units) return refuse_method();
            return true;
        case Rule::product:
        case Rule::quotient: {
            const Op op = rule == Rule::product ? Op::mul : Op::div;
            if (m == Method::at) {
                into[0] = c.operands[0].units;
                if (c.noperands > 1) into[1] = SharedUnits::unitless();
                made[0] = in_units(c.operands[0].units);
                return true;
            }
            if (folds) {
                if (!units) return true;
                if (op != Op::mul || m != Method::reduce || c.where != nullptr)
                    return refuse_method();
                // A product of n elements is in the units to the power n.
                into[0] = c.operands[0].units;
                c.initial_into = SharedUnits::unitless();  // a start value scales, as a number
                // ufunc.reduce takes the first axis unless told; NumPy names a bad axis itself.
                PyArrayObject *x = c.operands[0].array;
                npy_intp n = c.axis != nullptr ? reduced_count(x, c.axis)
                             : x != nullptr && PyArray_NDIM(x) > 0 ? PyArray_DIM(x, 0)
                                                                   : 1;
                if (n < 0) n = 1;
                return made_by(plan_power(c.operands[0].units, static_cast<double>(n), SharedUnits::unitless()),
                               made[0]);
            }
            into[0] = c.operands[0].units;
            into[1] = c.operands[1].units;
            return made_by(plan_operation(op, c.operands[0].units, c.operands[1].units, false),
                           made[0]);
        }
        case Rule::power:
        case Rule::square:
        case Rule::sqrt:
        case Rule::reciprocal:
            // Plain calls run the operators' loops; what reaches here has no units, or refuses.
            if (units) return refuse_method();
            made[0] = in_units(SharedUnits::unitless());
            return true;
        case Rule::cbrt: {
            if (m == Method::at) return at_keeps_units(false);
            into[0] = c.operands[0].units;
            return made_by(plan_power(c.operands[0].units, 1.0 / 3.0, SharedUnits::unitless()),
                           made[0]);
        }
        case Rule::compare:
            made[0] = Target{};
            c.initial_into = SharedUnits();
            return at_keeps_units(false);
        case Rule::ratio:
            made[0] = in_units(SharedUnits::unitless());
            if ((folds || m == Method::at) && units) return refuse_method();
            return true;
        case Rule::plain:
            for (int i = 0; i < c.noperands; ++i) into[i] = c.operands[i].units;
            made[0] = Target{};
            c.initial_into = SharedUnits();
            return at_keeps_units(false);
        case Rule::unitless:
            for (int i = 0; i < c.noperands; ++i) into[i] = SharedUnits::unitless();
            c.initial_into = SharedUnits::unitless();
            made[0] = in_units(SharedUnits::unitless());
            return at_keeps_units(is_unitless(c.operands[0].units));
        case Rule::angle:
            if (units)
                return refused(c.ufunc,
                               "takes numbers without units: convert an angle with a.as_unit(...) "
                               "instead");
            made[0] = in_units(SharedUnits::unitless());
            return true;
    }
    return false;
}

// The ufunc's method run by NumPy on the numbers: the operands in the units planned for
// them, indices and keywords as given, `out` (NumPy's tuple of plain arrays) when given.
PyObject *call_numpy(const Call &c, const SharedUnits (&into)[3], const bool (&as_is)[3],
                     PyObject *out, bool pass_where) {
    PyObject *args = PyTuple_New(c.ninputs);
    if (args == nullptr) return nullptr;
    for (int i = 0, k = 0; i < c.ninputs; ++i) {
        PyObject *item;
        if (k < c.noperands && c.operand_at[k] == i) {
            item = as_is[k] ? Py_NewRef(c.operands[k].source) : numbers_in(c.operands[k], into[k]);
            ++k;
        } else {
            item = Py_NewRef(c.inputs[i]);
        }
        if (item == nullptr) {
            Py_DECREF(args);
            return nullptr;
        }
        PyTuple_SET_ITEM(args, i, item);
    }
    PyObject *kwargs = PyDict_New();
    bool ok = kwargs != nullptr;
    const Py_ssize_t nkw = c.kwnames == nullptr ? 0 : PyTuple_GET_SIZE(c.kwnames);
    for (Py_ssize_t j = 0; ok && j < nkw; ++j) {
        PyObject *name = PyTuple_GET_ITEM(c.kwnames, j), *value = c.kwvalues[j];
        if (PyUnicode_EqualToUTF8(name, "out")) continue;
        if (PyUnicode_EqualToUTF8(name, "where") && !pass_where) continue;
        if (PyUnicode_EqualToUTF8(name, "initial") && value != Py_None && c.initial_into) {
            Arg start;
            const Read read = read_operand(value, start);
            if (read == Read::refused) PyErr_SetString(PyExc_TypeError, "initial= takes a number or a Modrin");
            PyObject *v = read == Read::ok ? numbers_in(start, c.initial_into) : nullptr;
            ok = v != nullptr && PyDict_SetItem(kwargs, name, v) == 0;
            Py_XDECREF(v);
            continue;
        }
        ok = PyDict_SetItem(kwargs, name, value) == 0;
    }
    if (ok && out != nullptr) ok = PyDict_SetItemString(kwargs, "out", out) == 0;
    PyObject *r = nullptr;
    if (ok) {
        if (c.method == Method::call) {
            r = PyObject_Call(c.ufunc, args, kwargs);
        } else {
            PyObject *method = PyObject_GetAttrString(c.ufunc, METHOD_NAMES[static_cast<int>(c.method)]);
            r = method == nullptr ? nullptr : PyObject_Call(method, args, kwargs);
            Py_XDECREF(method);
        }
    }
    Py_DECREF(args);
    Py_XDECREF(kwargs);
    return r;
}

// NumPy's raw result as float64 numbers in the target's units; null on failure.
PyArrayObject *in_target(const Target &t, PyObject *raw) {
    PyArrayObject *numbers = numbers_of(raw, false);
    return numbers == nullptr ? nullptr : moved(numbers, t);
}

PyObject *out_at(const Call &c, int k) {
    return c.out != nullptr && k < PyTuple_GET_SIZE(c.out) ? PyTuple_GET_ITEM(c.out, k) : Py_None;
}
bool masked(const Call &c) {
    return c.where != nullptr && (c.method == Method::call || c.method == Method::outer);
}

// An `out` must take the result's units: a ModrinArray any, a NumPy array none.
bool check_outs(const Call &c, const Target *made, int nres) {
    for (int k = 0; k < nres; ++k) {
        PyObject *o = out_at(c, k);
        if (o == Py_None) continue;
        if (is_array(o)) {
            SharedUnits held;
            if (!read_units(o, held)) return false;
            if (made[k].plain && !is_unitless(held))
                return refused(c.ufunc, "gives numbers without units: pass a NumPy array as out");
            if (!made[k].plain && masked(c) && held.record() != made[k].units.record()) {
                Result<ConversionPlan> plan = plan_conversion(held, made[k].units);
                if (!plan) {
                    py::raise(plan.error());
                    return false;
                }
            }
        } else if (!made[k].plain && !is_unitless(made[k].units)) {
            PyObject *name = name_of(c.ufunc);
            if (name != nullptr)
                PyErr_Format(PyExc_TypeError,
                             "ufunc '%U' cannot store %s in a NumPy array: pass a ModrinArray as out",
                             name, plain_text(made[k].units).c_str());
            Py_XDECREF(name);
            return false;
        }
    }
    return true;
}

bool copy_into(const Call &c, PyObject *dst, PyObject *src) {
    PyObject *args[] = {dst, src, c.where};
    PyObject *names = masked(c) ? Py_BuildValue("(s)", "where") : nullptr;
    if (masked(c) && names == nullptr) return false;
    PyObject *r = PyObject_Vectorcall(c.st->copyto, args, 2, names);
    Py_XDECREF(names);
    Py_XDECREF(r);
    return r != nullptr;
}

// Writes a result into the out operand `o`. Without `where` a ModrinArray takes the result's
// units; with it, it keeps its own and the result is converted into them, so the elements left
// alone keep their meaning. A failure changes nothing.
bool store(const Call &c, const Target &made, PyObject *o, PyObject *raw) {
    PyObject *src = made.plain ? Py_NewRef(raw) : reinterpret_cast<PyObject *>(in_target(made, raw));
    if (src == nullptr) return false;
    bool ok = true;
    if (!is_array(o)) {
        ok = copy_into(c, o, src);
    } else {
        ArrayObject *obj = as_array(o);
        py::ExclusiveAccess access(obj->access);
        ok = static_cast<bool>(access);
        SharedUnits held = ok ? held_units(obj) : SharedUnits();
        const bool keep = made.plain || masked(c);
        if (ok && !made.plain && masked(c) && held.record() != made.units.record()) {
            Result<ConversionPlan> plan = plan_conversion(made.units, held);
            ok = static_cast<bool>(plan);
            if (!ok) {
                py::raise(plan.error());
            } else {
                Arg x;
                x.array = reinterpret_cast<PyArrayObject *>(src);
                PyArrayObject *moved = converted(*plan, x);
                x.array = nullptr;
                Py_DECREF(src);
                src = reinterpret_cast<PyObject *>(moved);
                ok = src != nullptr;
            }
        }
        if (ok) ok = copy_into(c, obj->values, src);
        if (ok && !keep && held.record() != made.units.record())
            py::replace_units(obj->access, made.units);
    }
    Py_XDECREF(src);
    return ok;
}

// The results as the caller sees them: with `out`, the out operands written; otherwise new
// ModrinArrays or Modrins. Takes the references in `res`.
PyObject *deliver(Call &c, const Target *made, PyObject **res, int nres) {
    PyObject *results[2] = {};
    bool ok = c.out == nullptr || check_outs(c, made, nres);
    if (ok && c.out != nullptr)
        for (int i = 0; i < c.noperands; ++i) c.operands[i].hold.release();  // `out` may be one
    for (int k = 0; k < nres; ++k) {
        PyObject *o = out_at(c, k);
        if (!ok) {
            Py_DECREF(res[k]);
        } else if (o == Py_None) {
            results[k] = with_target(c.st, res[k], made[k]);
            ok = results[k] != nullptr;
        } else {
            ok = store(c, made[k], o, res[k]);
            Py_DECREF(res[k]);
            results[k] = ok ? Py_NewRef(o) : nullptr;
        }
    }
    if (!ok) {
        for (PyObject *r : results) Py_XDECREF(r);
        return nullptr;
    }
    if (nres == 1) return results[0];
    PyObject *t = PyTuple_New(nres);
    if (t == nullptr) {
        for (PyObject *r : results) Py_XDECREF(r);
        return nullptr;
    }
    for (int k = 0; k < nres; ++k) PyTuple_SET_ITEM(t, k, results[k]);
    return t;
}

// Methods and plain calls that the operators' loops do not run: NumPy's on the numbers.
PyObject *general(Call &c) {
    Target made[2];
    SharedUnits into[3];
    bool as_is[3] = {};
    if (!plan_results(c, made, into, as_is)) return nullptr;
    PyObject *raw = call_numpy(c, into, as_is, nullptr, true);
    if (raw == nullptr) return nullptr;
    if (c.method == Method::at) return raw;  // None: written into the first operand
    int nres = 1;
    if (PyTuple_Check(raw)) {
        nres = static_cast<int>(PyTuple_GET_SIZE(raw));
        if (nres > 2) {
            Py_DECREF(raw);
            return py::raise_internal_fault("a ufunc gave more than two results");
        }
    }
    PyObject *res[2] = {raw, nullptr};
    if (PyTuple_Check(raw)) {
        for (int k = 0; k < nres; ++k) res[k] = Py_NewRef(PyTuple_GET_ITEM(raw, k));
        Py_DECREF(raw);
    }
    return deliver(c, made, res, nres);
}

// Plain calls and outer products of the operators: their own loops, Modrin's elements.
PyObject *fast(Call &c) {
    Arg &a = c.operands[0], &b = c.operands[1];
    if (c.method == Method::outer) {
        if (c.noperands != 2) return refuse_ufunc(c.ufunc, "takes two operands in outer");
        if (a.array != nullptr && b.array != nullptr && PyArray_NDIM(b.array) > 0) {
            // a[..., newaxis, ...] against b: each of a's elements meets all of b's.
            npy_intp dims[NPY_MAXDIMS];
            const int na = PyArray_NDIM(a.array), nb = PyArray_NDIM(b.array);
            if (na + nb > NPY_MAXDIMS) return refuse_ufunc(c.ufunc, "was given too many dimensions");
            for (int i = 0; i < na; ++i) dims[i] = PyArray_DIM(a.array, i);
            for (int i = 0; i < nb; ++i) dims[na + i] = 1;
            PyArray_Dims shape{dims, na + nb};
            PyObject *view = PyArray_Newshape(a.array, &shape, NPY_CORDER);
            if (view == nullptr) return nullptr;
            Py_SETREF(a.array, reinterpret_cast<PyArrayObject *>(view));
        }
    }
    const bool binary = c.rule->fast <= Fast::ge;
    if (c.noperands != (binary ? 2 : 1)) return refuse_ufunc(c.ufunc, "was given the wrong number of inputs");
    Target made;
    Outcome r;
    const Fast f = c.rule->fast;
    PyObject *o = out_at(c, 0);
    if (f <= Fast::pow && c.method == Method::call && c.where == nullptr && is_array(o) &&
        PyTuple_GET_SIZE(c.out) == 1) {
        // Straight into the out array's numbers, as the in-place operators write.
        for (Arg &x : c.operands) x.hold.release();
        ArrayObject *obj = as_array(o);
        py::ExclusiveAccess access(obj->access);
        if (!access) return nullptr;
        constexpr Op OPS[] = {Op::add, Op::sub, Op::mul, Op::div, Op::pow};
        r = arithmetic(OPS[static_cast<int>(f) - static_cast<int>(Fast::add)], a, b, values_of(o));
        if (r.values == nullptr) return nullptr;
        Py_DECREF(r.values);
        if (r.units.record() != held_units(obj).record()) py::replace_units(obj->access, std::move(r.units));
        return Py_NewRef(o);
    }
    switch (f) {
        case Fast::add: r = arithmetic(Op::add, a, b); break;
        case Fast::sub: r = arithmetic(Op::sub, a, b); break;
        case Fast::mul: r = arithmetic(Op::mul, a, b); break;
        case Fast::div: r = arithmetic(Op::div, a, b); break;
        case Fast::pow: r = arithmetic(Op::pow, a, b); break;
        case Fast::lt:
        case Fast::le:
        case Fast::eq:
        case Fast::ne:
        case Fast::gt:
        case Fast::ge: {
            const auto cmp = static_cast<Comparison>(static_cast<int>(f) - static_cast<int>(Fast::lt));
            PyArrayObject *bools = comparison(cmp, a, b);
            if (bools == nullptr) return nullptr;
            PyObject *res = c.out == nullptr && !c.arrays ? PyArray_Return(bools)
                                                           : reinterpret_cast<PyObject *>(bools);
            made = Target{};
            return deliver(c, &made, &res, 1);
        }
        case Fast::neg: r = unary(Unary::negative, a); break;
        case Fast::pos: r = unary(Unary::positive, a); break;
        case Fast::abs: r = unary(Unary::absolute, a); break;
        case Fast::square: r = unary(Unary::square, a); break;
        case Fast::reciprocal: r = unary(Unary::reciprocal, a); break;
        case Fast::sqrt: r = unary(Unary::sqrt, a); break;
        case Fast::exp: r = unary(Unary::exp, a); break;
        case Fast::log: r = unary(Unary::log, a); break;
        case Fast::log10: r = unary(Unary::log10, a); break;
        case Fast::none: return py::raise_internal_fault("a ufunc without a loop");
    }
    if (r.values == nullptr) return nullptr;
    if (c.out == nullptr) return wrap(c.st, std::move(r), !c.arrays);
    made = in_units(r.units);
    PyObject *res = reinterpret_cast<PyObject *>(r.values);
    return deliver(c, &made, &res, 1);
}

int find(PyObject *const *table, int count, PyObject *x) {
    for (int i = 0; i < count; ++i)
        if (table[i] == x) return i;
    return -1;
}

// An integer beyond a Modrin's range equals no element, as it equals no Modrin: the bools of
// the other operand's shape.
PyObject *equals_nothing(Call &c, int other, bool not_equal) {
    Arg &x = c.operands[other];
    if (read_operand(c.inputs[c.operand_at[other]], x) != Read::ok) Py_RETURN_NOTIMPLEMENTED;
    PyArrayObject *r = bools_like(x, not_equal);
    if (r == nullptr) return nullptr;
    PyObject *res = x.array == nullptr && c.out == nullptr ? PyArray_Return(r) : reinterpret_cast<PyObject *>(r);
    Target made = Target{};
    return deliver(c, &made, &res, 1);
}

// A ufunc NumPy has and the table does not: numbers without units pass through it.
constexpr UfuncRule UNLISTED{"", Rule::plain};

PyObject *call_ufunc(State *st, PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    const Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    if (n < 2 || !PyUnicode_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "__array_ufunc__ takes a ufunc, a method and inputs");
        return nullptr;
    }
    if (any_lazy(args + 2, n - 2) ||
        (kwnames != nullptr && any_lazy(args + n, PyTuple_GET_SIZE(kwnames))))
        return lazy_call("ufunc", "__array_ufunc__", nullptr, args, nargsf, kwnames);
    Call c;
    c.st = st;
    c.ufunc = args[0];
    int method = 0;
    while (method < 6 && !PyUnicode_EqualToUTF8(args[1], METHOD_NAMES[method])) ++method;
    if (method == 6) return refuse_ufunc(c.ufunc, "has a method unknown to ModrinArray");
    c.method = static_cast<Method>(method);
    c.inputs = args + 2;
    c.ninputs = static_cast<int>(n - 2);
    switch (c.method) {
        case Method::call:
        case Method::outer:
            c.noperands = c.ninputs;
            for (int i = 0; i < c.ninputs && i < 3; ++i) c.operand_at[i] = i;
            break;
        case Method::reduce:
        case Method::accumulate:
        case Method::reduceat: c.noperands = c.ninputs > 0 ? 1 : 0; break;
        case Method::at:
            c.noperands = c.ninputs > 2 ? 2 : 1;
            c.operand_at[1] = 2;
            break;
    }
    if (c.noperands > 3 || c.noperands < 1)
        return refuse_ufunc(c.ufunc, "was given the wrong number of inputs");
    for (int i = 0; i < c.noperands; ++i) {
        const Read read = read_operand(c.inputs[c.operand_at[i]], c.operands[i]);
        if (read == Read::refused && c.noperands == 2 && c.method == Method::call &&
            PyLong_Check(c.inputs[i]) && (c.ufunc == st->ufuncs[EQUAL] || c.ufunc == st->ufuncs[NOT_EQUAL]))
            return equals_nothing(c, 1 - i, c.ufunc == st->ufuncs[NOT_EQUAL]);
        if (read == Read::refused && is_lazy_values(c.inputs[c.operand_at[i]]))
            return lazy_call("ufunc", "__array_ufunc__", nullptr, args, nargsf, kwnames);
        if (read == Read::refused) Py_RETURN_NOTIMPLEMENTED;
        if (read == Read::failed) return nullptr;
        c.with_units = c.with_units || !is_unitless(c.operands[i].units);
        c.arrays = c.arrays || c.operands[i].array != nullptr;
    }
    c.kwnames = kwnames;
    c.kwvalues = args + n;
    bool only_out = true;  // no keyword beyond out= and where=
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t j = 0; j < nkw; ++j) {
        PyObject *name = PyTuple_GET_ITEM(kwnames, j), *value = c.kwvalues[j];
        if (PyUnicode_EqualToUTF8(name, "out")) {
            if (!PyTuple_Check(value)) return refuse_ufunc(c.ufunc, "was given an out that is not a tuple");
            c.out = value;
        } else if (PyUnicode_EqualToUTF8(name, "where")) {
            c.where = value;
        } else {
            only_out = false;
            if (PyUnicode_EqualToUTF8(name, "axis")) c.axis = value;
            if (PyUnicode_EqualToUTF8(name, "initial")) c.initial = value;
            // Types and layouts are the class's own: float64 numbers with units.
            for (const char *fixed : {"dtype", "casting", "order", "subok", "signature"})
                if (PyUnicode_EqualToUTF8(name, fixed) && value != Py_None) {
                    PyObject *u = name_of(c.ufunc);
                    if (u != nullptr)
                        PyErr_Format(PyExc_TypeError,
                                     "ufunc '%U' does not take %s= with ModrinArray operands", u, fixed);
                    Py_XDECREF(u);
                    return nullptr;
                }
        }
    }
    const int index = find(st->ufuncs, UFUNC_COUNT, c.ufunc);
    if (index < 0) {
        if (c.with_units) return refuse_ufunc(c.ufunc, "does not support ModrinArray operands with units");
        c.rule = &UNLISTED;
        return general(c);
    }
    c.rule = &RULES[index];
    if (c.rule->fast != Fast::none && only_out &&
        (c.method == Method::call || (c.method == Method::outer && c.rule->fast <= Fast::ge)))
        return fast(c);
    return general(c);
}

// The module of this interpreter's modrin_array, held for a call from Modrin.
class ArrayModule {
public:
    ArrayModule() : module_(PyImport_ImportModule("modrin_array")) {}
    ArrayModule(const ArrayModule &) = delete;
    ArrayModule &operator=(const ArrayModule &) = delete;
    ~ArrayModule() { Py_XDECREF(module_); }
    State *state() const {
        if (module_ == nullptr) return nullptr;
        if (PyModule_GetDef(module_) != module_def()) {
            PyErr_SetString(PyExc_ImportError, "modrin_array is not modrin's own");
            return nullptr;
        }
        return static_cast<State *>(PyModule_GetState(module_));
    }

private:
    PyObject *module_;
};

}  // namespace

static_assert(static_cast<int>(Comparison::lt) == 0 && static_cast<int>(Comparison::le) == 1 &&
              static_cast<int>(Comparison::eq) == 2 && static_cast<int>(Comparison::ne) == 3 &&
              static_cast<int>(Comparison::gt) == 4 && static_cast<int>(Comparison::ge) == 5);

int cache_ufuncs(State *st, PyObject *numpy) {
    for (int i = 0; i < UFUNC_COUNT; ++i) {
        // A ufunc an older NumPy lacks has no entry, and no caller can pass it.
        if (PyObject_GetOptionalAttrString(numpy, RULES[i].name, &st->ufuncs[i]) < 0) return -1;
    }
    return 0;
}

PyObject *array_ufunc(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                      PyObject *kwnames) {
    return call_ufunc(state_of(Py_TYPE(self)), args, nargsf, kwnames);
}

PyObject *modrin_array_ufunc(PyObject *, PyObject *const *args, Py_ssize_t nargsf,
                             PyObject *kwnames) {
    ArrayModule module;
    State *st = module.state();
    if (st == nullptr) return nullptr;
    return call_ufunc(st, args, nargsf, kwnames);
}

PyObject *compare_modrin_with_array(PyObject *modrin, PyObject *array, int op) {
    if (is_lazy(array)) return lazy_operator(COMPARISON_NAMES[op], modrin, array);
    Arg q, a;
    if (read_operand(modrin, q) != Read::ok || read_operand(array, a) != Read::ok)
        return nullptr;
    return rich_comparison(op, q, a);
}

}  // namespace modrin::array
