// NumPy's functions on ModrinArray (__array_function__): one table row per function says which
// arguments carry units, how they are read and how the result's units follow. The arguments of
// a group are converted into the group's reference units (the first operand with units, in
// argument order), as `+` converts; NumPy's own function then runs on the plain numbers and its
// results are given units. Every function without a row refuses, naming itself.
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "array/array.hpp"
#include "lib/raise.hpp"
#include "unit/rounding.hpp"

namespace modrin::array {

namespace {

// How an argument is read.
enum class Kind : std::uint8_t {
    one,    // one operand (None: absent)
    many,   // a list or tuple of operands, each converted (or one operand)
    each,   // every positional argument from here on, each keeping its own units
    bins,   // one operand, but an int or a str passes as it is (a count, a rule)
    zero,   // one operand, where a plain zero is zero in any units
};

// How the results' units follow from the groups' reference units g0, g1.
enum class Rule : std::uint8_t {
    plain,       // NumPy's result as it is: indices, flags, shapes
    same,        // g0
    joined,      // g0, for concatenate: joined in one pass where the layouts allow
    normalised,  // g0 in its simple form, as a Modrin sum is
    squared,     // g0 ** 2
    reduced,     // g0 ** (the number of elements each result takes): prod
    det,         // g0 ** n for n x n matrices
    norm,        // g0, but plain for ord=0, which counts the elements that are not zero
    product,     // g0 * g1
    quotient,    // g0 over each spacing's units: gradient
    second,      // g1: interp
    each,        // the i-th result in the units of the i-th argument
    unique,      // the values in g0, the indices and counts plain
    histogram,   // counts plain (g1 with weights, 1 / g0 with density), edges in g0
    average,     // the average normalised, the sum of weights in g1
    rounded,     // g0 in its simple form, each element rounded as Modrin rounds
};

struct Slot {
    std::int8_t position = -1;      // -1: keyword only, or no slot
    const char *keyword = nullptr;  // null: positional only
    Kind kind = Kind::one;
    std::uint8_t group = 0;
};

constexpr std::int8_t NO_OUT = -2;
constexpr int SLOTS = 6;

struct Row {
    const char *name;
    Rule rule;
    Slot slots[SLOTS];
    std::int8_t out = NO_OUT;   // the position of out= (-1: keyword only)
    std::uint8_t unitless = 0;  // groups (bit i: group i) whose operands must be unitless
};

constexpr std::uint8_t G0 = 1, G2 = 4;
constexpr Slot A{0, "a"};
constexpr Slot INITIAL_SUM{5, "initial"}, INITIAL_MIN{4, "initial"}, MEAN_GIVEN{-1, "mean"};
constexpr Slot WEIGHTS{-1, "weights", Kind::one, 1};  // any units: they cancel

// The hot ones first: the lookup is a scan by identity.
constexpr Row TABLE[] = {
    {"mean", Rule::normalised, {A}, 3},
    {"sum", Rule::normalised, {A, INITIAL_SUM}, 3},
    {"std", Rule::normalised, {A, MEAN_GIVEN}, 3},
    {"var", Rule::squared, {A, MEAN_GIVEN}, 3},
    {"concatenate", Rule::joined, {{0, nullptr, Kind::many}}, 2},
    {"min", Rule::same, {A, INITIAL_MIN}, 2},
    {"max", Rule::same, {A, INITIAL_MIN}, 2},
    {"amin", Rule::same, {A, INITIAL_MIN}, 2},
    {"amax", Rule::same, {A, INITIAL_MIN}, 2},
    {"shape", Rule::plain, {A}},
    {"ndim", Rule::plain, {A}},
    {"size", Rule::plain, {A}},
    {"average", Rule::average, {A, {2, "weights", Kind::one, 1}}},
    {"median", Rule::same, {A}, 2},
    {"percentile", Rule::same, {A, WEIGHTS}, 3},
    {"quantile", Rule::same, {A, WEIGHTS}, 3},
    {"ptp", Rule::normalised, {A}, 2},  // max - min, as a Modrin difference
    {"argmin", Rule::plain, {A}, 2},
    {"argmax", Rule::plain, {A}, 2},
    {"cumsum", Rule::normalised, {A}, 3},
    {"cumprod", Rule::same, {A}, 3, G0},
    {"prod", Rule::reduced, {A, {5, "initial", Kind::one, 2}}, 3, G2},
    {"diff", Rule::normalised, {A, {3, "prepend"}, {4, "append"}}},
    {"gradient", Rule::quotient, {{0, "f"}, {1, nullptr, Kind::each}}},
    {"trapezoid", Rule::product, {{0, "y"}, {1, "x", Kind::one, 1}, {2, "dx", Kind::one, 1}}},
    {"cross", Rule::product, {A, {1, "b", Kind::one, 1}}},
    {"dot", Rule::product, {A, {1, "b", Kind::one, 1}}, 2},
    {"inner", Rule::product, {A, {1, "b", Kind::one, 1}}},
    {"outer", Rule::product, {A, {1, "b", Kind::one, 1}}, 2},
    {"linalg.norm", Rule::norm, {{0, "x"}}},
    {"linalg.det", Rule::det, {A}},
    {"stack", Rule::same, {{0, "arrays", Kind::many}}, 2},
    {"hstack", Rule::same, {{0, "tup", Kind::many}}},
    {"vstack", Rule::same, {{0, "tup", Kind::many}}},
    {"column_stack", Rule::same, {{0, "tup", Kind::many}}},
    {"split", Rule::same, {{0, "ary"}}},
    {"array_split", Rule::same, {{0, "ary"}}},
    {"where", Rule::same, {{0, nullptr, Kind::one, 2}, {1}, {2}}, NO_OUT, G2},
    {"select", Rule::same, {{1, "choicelist", Kind::many}, {2, "default", Kind::zero}}},
    {"clip", Rule::same, {A, {1, "a_min"}, {2, "a_max"}, {-1, "min"}, {-1, "max"}}, 3},
    {"sort", Rule::same, {A}},
    {"argsort", Rule::plain, {A}},
    {"searchsorted", Rule::plain, {A, {1, "v"}}},
    {"unique", Rule::unique, {{0, "ar"}}},
    {"round", Rule::rounded, {A}, 2},
    {"around", Rule::rounded, {A}, 2},
    {"isclose", Rule::plain, {A, {1, "b"}, {3, "atol", Kind::zero}}},
    {"allclose", Rule::plain, {A, {1, "b"}, {3, "atol", Kind::zero}}},
    {"array_equal", Rule::plain, {{0, "a1"}, {1, "a2"}}},
    {"interp", Rule::second, {{0, "x"}, {1, "xp"}, {2, "fp", Kind::one, 1},
                              {3, "left", Kind::one, 1}, {4, "right", Kind::one, 1},
                              {5, "period"}}},
    {"histogram", Rule::histogram, {A, {1, "bins", Kind::bins}, {2, "range", Kind::many},
                                    {4, "weights", Kind::one, 1}}},
    {"nansum", Rule::normalised, {A, INITIAL_SUM}, 3},
    {"nanmean", Rule::normalised, {A}, 3},
    {"nanmedian", Rule::same, {A}, 2},
    {"nanpercentile", Rule::same, {A, WEIGHTS}, 3},
    {"nanquantile", Rule::same, {A, WEIGHTS}, 3},
    {"nanstd", Rule::normalised, {A, MEAN_GIVEN}, 3},
    {"nanvar", Rule::squared, {A, MEAN_GIVEN}, 3},
    {"nanmin", Rule::same, {A, INITIAL_MIN}, 2},
    {"nanmax", Rule::same, {A, INITIAL_MIN}, 2},
    {"nanargmin", Rule::plain, {A}, 2},
    {"nanargmax", Rule::plain, {A}, 2},
    {"nancumsum", Rule::normalised, {A}, 3},
    {"nancumprod", Rule::same, {A}, 3, G0},
    // A NaN counts as a one: the units would depend on how many numbers are NaN.
    {"nanprod", Rule::same, {A, {5, "initial"}}, 3, G0},
    {"reshape", Rule::same, {{0, nullptr}}},
    {"transpose", Rule::same, {A}},
    {"moveaxis", Rule::same, {A}},
    {"squeeze", Rule::same, {A}},
    {"expand_dims", Rule::same, {A}},
    {"broadcast_to", Rule::same, {{0, "array"}}},
    {"broadcast_arrays", Rule::each, {{0, nullptr, Kind::each}}},
    {"atleast_1d", Rule::each, {{0, nullptr, Kind::each}}},
    {"atleast_2d", Rule::each, {{0, nullptr, Kind::each}}},
    {"atleast_3d", Rule::each, {{0, nullptr, Kind::each}}},
    {"tile", Rule::same, {{0, "A"}}},
    {"repeat", Rule::same, {A}},
    {"flip", Rule::same, {{0, "m"}}},
    {"roll", Rule::same, {A}},
    {"take", Rule::same, {A}, 3},
    {"delete", Rule::same, {{0, "arr"}}},
    {"insert", Rule::same, {{0, "arr"}, {2, "values"}}},
    {"append", Rule::same, {{0, "arr"}, {1, "values"}}},
    {"copy", Rule::same, {A}},
    {"ones_like", Rule::same, {A}},
    {"zeros_like", Rule::same, {A}},
    {"empty_like", Rule::same, {{0, nullptr}}},
    {"full_like", Rule::same, {A, {1, "fill_value"}}},
    {"linspace", Rule::same, {{0, "start"}, {1, "stop"}}},
    {"geomspace", Rule::same, {{0, "start"}, {1, "stop"}}},
    {"meshgrid", Rule::each, {{0, nullptr, Kind::each}}},
    {"fft.fftshift", Rule::same, {{0, "x"}}},
    {"fft.ifftshift", Rule::same, {{0, "x"}}},
};
static_assert(std::size(TABLE) == FUNCTION_COUNT);

constexpr int GROUPS = 3;

PyObject *as_object(PyArrayObject *a) { return reinterpret_cast<PyObject *>(a); }
bool is_unitless(const SharedUnits &u) { return u.record() == SharedUnits::unitless().record(); }

// The value of kwargs[name] (borrowed) and its key, without building a string.
PyObject *keyword_value(PyObject *kwargs, const char *name, PyObject **key = nullptr) {
    if (kwargs == nullptr || name == nullptr) return nullptr;
    Py_ssize_t pos = 0;
    PyObject *k, *v;
    while (PyDict_Next(kwargs, &pos, &k, &v))
        if (PyUnicode_Check(k) && PyUnicode_EqualToUTF8(k, name)) {
            if (key != nullptr) *key = k;
            return v;
        }
    return nullptr;
}

// "numpy.linalg.norm", as the refusals name a function; null with an exception set.
PyObject *full_name(PyObject *func) {
    PyObject *module = PyObject_GetAttrString(func, "__module__");
    if (module == nullptr) return nullptr;
    PyObject *name = PyObject_GetAttrString(func, "__name__");
    PyObject *r = name == nullptr ? nullptr : PyUnicode_FromFormat("%U.%U", module, name);
    Py_DECREF(module);
    Py_XDECREF(name);
    return r;
}

PyObject *refuse(PyObject *func, const char *what) {
    PyObject *name = full_name(func);
    if (name != nullptr) PyErr_Format(PyExc_TypeError, "%U %s", name, what);
    Py_XDECREF(name);
    return nullptr;
}

Target in_form(const Derived &form, const SharedUnits &raw) {
    return {false, form.target ? form.target : raw, raw, form.conversion};
}
Target in_op(const OperationUnits &o) {
    return {false, o.form.target ? o.form.target : o.raw, o.raw, o.form.conversion};
}

// One argument as read: its operand (read for quantities and for anything converted into
// units), and what NumPy is handed instead.
struct Item {
    Arg arg;
    PyObject *given = nullptr;  // borrowed
    PyObject *plain = nullptr;  // owned
    int slot = 0;
    bool quantity = false;
    Item() = default;
    Item(const Item &) = delete;
    Item &operator=(const Item &) = delete;
    ~Item() { Py_XDECREF(plain); }
};

class Call {
public:
    Call(State *st, int index, PyObject *func, PyObject *args, PyObject *kwargs)
        : st_(st), row_(TABLE[index]), func_(func), impl_(st->implementations[index]),
          args_(PySequence_Fast_ITEMS(args)), nargs_(PyTuple_GET_SIZE(args)),
          kwargs_(PyDict_GET_SIZE(kwargs) > 0 ? kwargs : nullptr) {}
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;
    ~Call() {
        Py_XDECREF(own_kwargs_);
        for (PyObject *v : replaced_) Py_XDECREF(v);
    }

    PyObject *run();

private:
    static bool ends(const Slot &s) { return s.position < 0 && s.keyword == nullptr; }

    // The value of a slot (borrowed, null when absent) and its key when given by keyword.
    PyObject *value(const Slot &s, PyObject **key) const {
        *key = nullptr;
        if (s.position >= 0 && s.position < nargs_) return args_[s.position];
        return keyword_value(kwargs_, s.keyword, key);
    }
    PyObject *argument(int position, const char *keyword) const {
        PyObject *key;
        return value(Slot{static_cast<std::int8_t>(position), keyword}, &key);
    }
    int count_items() const;
    bool read();
    bool convert(Item &item, const SharedUnits &ref);
    bool hand_over();
    bool set_keyword(PyObject *key, const char *name, PyObject *v);
    const Item *each_item(Py_ssize_t i) const;
    Target target(Py_ssize_t i) const;
    bool plan_result();
    PyObject *wrap(PyObject *r) const;
    PyObject *rounded();
    PyObject *joined();
    PyObject *into_out(PyObject *r);

    State *st_;
    const Row &row_;
    PyObject *func_, *impl_;
    PyObject *const *args_;
    Py_ssize_t nargs_;
    PyObject *kwargs_;
    PyObject *own_kwargs_ = nullptr;

    std::unique_ptr<Item[]> items_;
    int count_ = 0;
    SharedUnits ref_[GROUPS];
    bool has_ref_[GROUPS] = {}, present_[GROUPS] = {};
    PyObject *replaced_[SLOTS] = {};  // each slot's value as NumPy gets it

    PyObject *small_args_[8] = {};
    std::unique_ptr<PyObject *[]> big_args_;
    PyObject **call_args_ = nullptr;

    PyObject *out_ = nullptr;  // a ModrinArray out=, filled after the call
    Target result_;            // the first result's target
    Target counts_;            // histogram's counts
};

int Call::count_items() const {
    int n = 0;
    for (const Slot &s : row_.slots) {
        if (ends(s)) break;
        PyObject *key;
        PyObject *v = value(s, &key);
        if (s.kind == Kind::each) {
            n += static_cast<int>(std::max<Py_ssize_t>(0, nargs_ - s.position));
        } else if (v != nullptr && v != Py_None) {
            n += s.kind == Kind::many && (PyList_Check(v) || PyTuple_Check(v))
                     ? static_cast<int>(PySequence_Fast_GET_SIZE(v))
                     : 1;
        }
    }
    return n;
}

// Reads every unit-carrying argument and finds each group's reference units.
bool Call::read() {
    count_ = count_items();
    if (count_ > 0) items_.reset(new Item[static_cast<std::size_t>(count_)]);
    int k = 0;
    auto take = [&](int slot, PyObject *v, int group) -> bool {
        Item &item = items_[k++];
        item.given = v;
        item.slot = slot;
        if (group < GROUPS) present_[group] = true;
        if (!is_array(v) && !py::is_modrin(v)) return true;
        if (read_operand(v, item.arg) != Read::ok) return false;
        item.quantity = true;
        if (group < GROUPS && !has_ref_[group]) {
            ref_[group] = item.arg.units;
            has_ref_[group] = true;
        }
        return true;
    };
    for (int i = 0; i < SLOTS && !ends(row_.slots[i]); ++i) {
        const Slot &s = row_.slots[i];
        PyObject *key;
        PyObject *v = value(s, &key);
        if (s.kind == Kind::each) {
            for (Py_ssize_t j = s.position; j < nargs_; ++j)
                if (!take(i, args_[j], GROUPS)) return false;
        } else if (v == nullptr || v == Py_None) {
            continue;
        } else if (s.kind == Kind::many && (PyList_Check(v) || PyTuple_Check(v))) {
            for (Py_ssize_t j = 0; j < PySequence_Fast_GET_SIZE(v); ++j)
                if (!take(i, PySequence_Fast_ITEMS(v)[j], s.group)) return false;
        } else if (s.kind == Kind::bins && (PyLong_Check(v) || PyUnicode_Check(v))) {
            items_[k].given = v;
            items_[k++].slot = i;
        } else if (!take(i, v, s.group)) {
            return false;
        }
    }
    for (int g = 0; g < GROUPS; ++g)
        if ((row_.unitless & (1 << g)) != 0 || !has_ref_[g]) ref_[g] = SharedUnits::unitless();
    return true;
}

// The item as NumPy gets it: in the reference units, or as given when nothing changes.
bool Call::convert(Item &item, const SharedUnits &ref) {
    const Slot &s = row_.slots[item.slot];
    if (!item.quantity) {
        const bool passes =
            (s.kind == Kind::bins && (PyLong_Check(item.given) || PyUnicode_Check(item.given))) ||
            (s.kind == Kind::zero && (PyFloat_Check(item.given) || PyLong_Check(item.given)) &&
             PyObject_Not(item.given) == 1);
        if (passes || is_unitless(ref)) {
            item.plain = Py_NewRef(item.given);
            return true;
        }
        const Read read = read_operand(item.given, item.arg);
        if (read == Read::refused)
            PyErr_Format(PyExc_TypeError, "a %T is not an operand with units", item.given);
        if (read != Read::ok) {
            if (s.keyword != nullptr) py::add_processing_note(s.keyword);
            return false;
        }
    }
    Arg &x = item.arg;
    if (x.units.record() != ref.record()) {
        Result<ConversionPlan> plan = plan_conversion(x.units, ref);
        if (!plan) {
            py::raise(plan.error());
            if (s.keyword != nullptr) py::add_processing_note(s.keyword);
            return false;
        }
        if (plan->conversion.kind != Conversion::Kind::same) {
            item.plain = x.array != nullptr
                             ? as_object(converted(*plan, x))
                             : PyFloat_FromDouble(plan->conversion.apply(x.scalar));
            return item.plain != nullptr;
        }
    }
    item.plain = x.array != nullptr ? Py_NewRef(as_object(x.array)) : PyFloat_FromDouble(x.scalar);
    return item.plain != nullptr;
}

bool Call::set_keyword(PyObject *key, const char *name, PyObject *v) {
    if (own_kwargs_ == nullptr) {
        own_kwargs_ = kwargs_ != nullptr ? PyDict_Copy(kwargs_) : PyDict_New();
        if (own_kwargs_ == nullptr) return false;
    }
    if (key != nullptr)
        return v != nullptr ? PyDict_SetItem(own_kwargs_, key, v) == 0
                            : PyDict_DelItem(own_kwargs_, key) == 0;
    return v != nullptr ? PyDict_SetItemString(own_kwargs_, name, v) == 0
                        : PyDict_DelItemString(own_kwargs_, name) == 0;
}

// Converts the items and lays out the arguments NumPy gets.
bool Call::hand_over() {
    for (int i = 0; i < count_; ++i) {
        Item &item = items_[i];
        const Slot &s = row_.slots[item.slot];
        if (s.kind != Kind::each) {
            if (!convert(item, ref_[s.group])) return false;
        } else {
            item.plain = !item.quantity ? Py_NewRef(item.given)
                         : item.arg.array != nullptr
                             ? Py_NewRef(as_object(item.arg.array))
                             : PyFloat_FromDouble(item.arg.scalar);
            if (item.plain == nullptr) return false;
        }
    }
    PyObject **argv = small_args_;
    if (nargs_ > static_cast<Py_ssize_t>(std::size(small_args_))) {
        big_args_.reset(new PyObject *[static_cast<std::size_t>(nargs_)]);
        argv = big_args_.get();
    }
    for (Py_ssize_t i = 0; i < nargs_; ++i) argv[i] = args_[i];
    call_args_ = argv;
    // Items come in slot order: each slot's value is its item, or a list of its items.
    for (int i = 0, end; i < count_; i = end) {
        const int slot = items_[i].slot;
        const Slot &s = row_.slots[slot];
        for (end = i + 1; end < count_ && items_[end].slot == slot;) ++end;
        if (s.kind == Kind::each) {
            for (int j = i; j < end; ++j) argv[s.position + (j - i)] = items_[j].plain;
            continue;
        }
        PyObject *key;
        PyObject *given = value(s, &key);
        PyObject *v;
        if (s.kind == Kind::many && given != items_[i].given) {
            v = PyList_New(end - i);
            if (v == nullptr) return false;
            for (int j = i; j < end; ++j) PyList_SET_ITEM(v, j - i, Py_NewRef(items_[j].plain));
        } else {
            v = Py_NewRef(items_[i].plain);
        }
        replaced_[slot] = v;
        if (key == nullptr)
            argv[s.position] = v;
        else if (!set_keyword(key, nullptr, v))
            return false;
    }
    return true;
}

// The i-th argument of an `each` slot, or for a single one, that one.
const Item *Call::each_item(Py_ssize_t i) const {
    int seen = 0;
    const Item *first = nullptr;
    for (int k = 0; k < count_; ++k) {
        if (row_.slots[items_[k].slot].kind != Kind::each) continue;
        if (seen == 0) first = &items_[k];
        if (seen++ == i) return &items_[k];
    }
    return seen == 1 ? first : nullptr;
}

Target Call::target(Py_ssize_t i) const {
    if (!present_[0] && row_.rule != Rule::each) return {};  // np.where(condition): indices
    const SharedUnits &g0 = ref_[0];
    switch (row_.rule) {
        case Rule::plain: return {};
        case Rule::same:
        case Rule::joined: return in_units(g0);
        case Rule::normalised:
        case Rule::rounded: return in_form(simple_form(g0), g0);
        case Rule::squared: return in_op(power_units(g0, 2.0));
        case Rule::reduced:
        case Rule::det:
        case Rule::norm: return result_;
        case Rule::product: return in_op(operation_units(Op::mul, g0, ref_[1]));
        case Rule::quotient: {
            const Item *spacing = each_item(i);
            const bool units = spacing != nullptr && spacing->quantity;
            return in_op(operation_units(Op::div, g0, units ? spacing->arg.units
                                                            : SharedUnits::unitless()));
        }
        case Rule::second: return in_units(ref_[1]);
        case Rule::each: {
            const Item *it = each_item(i);
            return it != nullptr && it->quantity ? in_units(it->arg.units) : Target{};
        }
        case Rule::unique: return i == 0 ? in_units(g0) : Target{};
        case Rule::histogram: return i == 1 ? in_units(g0) : counts_;
        case Rule::average:
            if (i == 0) return in_form(simple_form(g0), g0);
            return has_ref_[1] ? in_form(simple_form(ref_[1]), ref_[1]) : Target{};
    }
    return {};
}

// The units of the results, where they depend on more than the groups' units.
bool Call::plan_result() {
    PyArrayObject *first = count_ > 0 ? items_[0].arg.array : nullptr;
    switch (row_.rule) {
        case Rule::reduced: {
            if (is_unitless(ref_[0])) {
                result_ = in_units(ref_[0]);
                return true;
            }
            PyObject *where = argument(6, "where");
            if (where != nullptr && where != Py_True) {
                refuse(func_, "does not take where= with a ModrinArray in units: each result's "
                              "units would depend on how many numbers it takes");
                return false;
            }
            const npy_intp n = reduced_count(first, argument(1, "axis"));
            // A bad axis: NumPy raises on the call, before any units are needed.
            result_ = in_op(power_units(ref_[0], static_cast<double>(n < 0 ? 1 : n)));
            return true;
        }
        case Rule::det: {
            const int ndim = first != nullptr ? PyArray_NDIM(first) : 0;
            const npy_intp n = ndim > 0 ? PyArray_DIM(first, ndim - 1) : 1;
            result_ = in_op(power_units(ref_[0], static_cast<double>(n)));
            return true;
        }
        case Rule::norm: {
            PyObject *ord = argument(1, "ord");
            const bool count = ord != nullptr && ord != Py_None && PyNumber_Check(ord) &&
                               PyObject_RichCompareBool(ord, Py_False, Py_EQ) == 1;
            result_ = count ? Target{} : in_units(ref_[0]);
            return true;
        }
        case Rule::histogram: {
            PyObject *density = argument(3, "density");
            const int dense = density == nullptr ? 0 : PyObject_IsTrue(density);
            if (dense < 0) return false;
            counts_ = dense == 1 ? in_op(operation_units(Op::div, SharedUnits::unitless(), ref_[0]))
                      : has_ref_[1] ? in_units(ref_[1])
                                    : Target{};
            break;
        }
        case Rule::plain:
        case Rule::same:
        case Rule::joined:
        case Rule::normalised:
        case Rule::squared:
        case Rule::product:
        case Rule::quotient:
        case Rule::second:
        case Rule::each:
        case Rule::unique:
        case Rule::average:
        case Rule::rounded: break;
    }
    result_ = target(0);
    return true;
}

// NumPy's result (stolen) with units: a tuple or list item by item.
PyObject *Call::wrap(PyObject *r) const {
    if (!PyTuple_Check(r) && !PyList_Check(r)) return with_target(st_, r, result_);
    const bool per_item = row_.rule == Rule::each || row_.rule == Rule::unique ||
                          row_.rule == Rule::histogram || row_.rule == Rule::average ||
                          row_.rule == Rule::quotient;
    if (result_.plain && !per_item) return r;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(r);
    PyObject *w = PyList_Check(r) ? PyList_New(n) : PyTuple_New(n);
    for (Py_ssize_t i = 0; w != nullptr && i < n; ++i) {
        PyObject *item = PySequence_Fast_ITEMS(r)[i];
        PyObject *x = with_target(st_, Py_NewRef(item), per_item ? target(i) : result_);
        if (x == nullptr) Py_CLEAR(w);
        else if (PyList_Check(w)) PyList_SET_ITEM(w, i, x);
        else PyTuple_SET_ITEM(w, i, x);
    }
    Py_DECREF(r);
    return w;
}

// np.round: each element as Modrin's round gives it (halves away from zero), in the units a
// Modrin rounds in.
PyObject *Call::rounded() {
    PyObject *decimals = argument(1, "decimals");
    long long places = 0;
    const bool given = decimals != nullptr && decimals != Py_None;
    if (given && (places = PyLong_AsLongLong(decimals)) == -1 && PyErr_Occurred()) return nullptr;
    PyArrayObject *numbers = numbers_of(items_[0].plain, true);
    if (numbers == nullptr || (numbers = moved(numbers, result_)) == nullptr) return nullptr;
    PyArrayObject *contiguous = reinterpret_cast<PyArrayObject *>(
        PyArray_FromAny(as_object(numbers), nullptr, 0, 0, NPY_ARRAY_CARRAY, nullptr));
    Py_DECREF(numbers);
    if (contiguous == nullptr) return nullptr;
    auto *p = static_cast<double *>(PyArray_DATA(contiguous));
    for (npy_intp i = 0, n = PyArray_SIZE(contiguous); i < n; ++i)
        p[i] = given ? round_to_places(p[i], places) : std::round(p[i]);
    PyObject *r = new_array(st_->array_type, as_object(contiguous), result_.units);
    Py_DECREF(contiguous);
    return r;
}

// The result's numbers and units written into the ModrinArray out=, which is returned.
PyObject *Call::into_out(PyObject *r) {
    if (r == nullptr) return nullptr;
    Arg x;
    const Read read = read_operand(r, x);
    Py_DECREF(r);
    if (read == Read::refused) PyErr_SetString(PyExc_TypeError, "a result without numbers");
    if (read != Read::ok) return nullptr;
    // out= may be an input too: its numbers are read, so its units may change now.
    x.hold.release();
    for (int i = 0; i < count_; ++i) items_[i].arg.hold.release();
    PyArrayObject *dst = values_of(out_);
    PyArrayObject *src = x.array;
    if (src == nullptr) {
        src = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(0, nullptr, NPY_DOUBLE));
        if (src == nullptr) return nullptr;
        *static_cast<double *>(PyArray_DATA(src)) = x.scalar;
        x.array = src;
    }
    if (PyArray_NDIM(src) != PyArray_NDIM(dst) ||
        !PyArray_CompareLists(PyArray_DIMS(src), PyArray_DIMS(dst), PyArray_NDIM(dst))) {
        PyErr_SetString(PyExc_ValueError, "out= does not have the result's shape");
        return nullptr;
    }
    ArrayObject *obj = as_array(out_);
    py::ExclusiveAccess access(obj->access);
    if (!access || PyArray_CopyInto(dst, src) < 0) return nullptr;
    if (held_units(obj).record() != x.units.record()) py::replace_units(obj->access, x.units);
    return Py_NewRef(out_);
}

// np.concatenate of C-contiguous arrays with units along their first axis: each converted
// straight into its place in the result, with no array in between.
PyObject *Call::joined() {
    if (kwargs_ != nullptr || nargs_ > 2 || count_ == 0) return nullptr;
    if (nargs_ == 2 && (!PyLong_CheckExact(args_[1]) || PyLong_AsLong(args_[1]) != 0)) {
        PyErr_Clear();  // an axis beyond a long: NumPy's to judge
        return nullptr;
    }
    PyArrayObject *first = items_[0].arg.array;
    if (first == nullptr || PyArray_NDIM(first) < 1) return nullptr;
    const int ndim = PyArray_NDIM(first);
    npy_intp dims[NPY_MAXDIMS];
    for (int d = 0; d < ndim; ++d) dims[d] = PyArray_DIM(first, d);
    dims[0] = 0;
    for (int i = 0; i < count_; ++i) {
        PyArrayObject *a = items_[i].arg.array;
        if (!items_[i].quantity || a == nullptr || PyArray_NDIM(a) != ndim ||
            !PyArray_IS_C_CONTIGUOUS(a) ||
            !PyArray_CompareLists(PyArray_DIMS(a) + 1, PyArray_DIMS(first) + 1, ndim - 1))
            return nullptr;
        dims[0] += PyArray_DIM(a, 0);
    }
    ConversionPlan plans[8];
    if (count_ > static_cast<int>(std::size(plans))) return nullptr;
    for (int i = 0; i < count_; ++i) {
        Result<ConversionPlan> plan = plan_conversion(items_[i].arg.units, ref_[0]);
        if (!plan) return py::raise(plan.error());
        plans[i] = std::move(*plan);
    }
    auto *r = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(ndim, dims, NPY_DOUBLE));
    if (r == nullptr) return nullptr;
    char *to = PyArray_BYTES(r);
    GilRelease gil(PyArray_SIZE(r));
    for (int i = 0; i < count_; ++i) {
        PyArrayObject *a = items_[i].arg.array;
        const npy_intp n = PyArray_SIZE(a);
        if (plans[i].conversion.kind == Conversion::Kind::same)
            std::memcpy(to, PyArray_BYTES(a), static_cast<std::size_t>(n) * sizeof(double));
        else
            convert_elements(plans[i], static_cast<std::size_t>(n), {PyArray_BYTES(a), sizeof(double)},
                             {to, sizeof(double)});
        to += n * static_cast<npy_intp>(sizeof(double));
    }
    return as_object(r);
}

PyObject *Call::run() {
    if (!read()) return nullptr;
    if (row_.rule == Rule::joined) {
        PyObject *r = joined();
        if (r != nullptr) {
            PyObject *w = new_array(st_->array_type, r, ref_[0]);
            Py_DECREF(r);
            return w;
        }
        if (PyErr_Occurred()) return nullptr;
    }
    if (!hand_over() || !plan_result()) return nullptr;
    // NumPy's default tolerance is a number in no units.
    for (const Slot &s : row_.slots) {
        PyObject *key;
        if (s.kind == Kind::zero && value(s, &key) == nullptr && !is_unitless(ref_[s.group])) {
            PyObject *zero = PyFloat_FromDouble(0.0);
            const bool ok = zero != nullptr && set_keyword(nullptr, s.keyword, zero);
            Py_XDECREF(zero);
            if (!ok) return nullptr;
        }
    }
    PyObject *plain_out = nullptr;
    if (row_.out != NO_OUT) {
        PyObject *key;
        PyObject *out = value(Slot{row_.out, "out"}, &key);
        if (out != nullptr && out != Py_None) {
            const bool unitless = result_.plain || (is_unitless(result_.units) &&
                                                    result_.conversion.kind == Conversion::Kind::same);
            if (is_array(out)) {
                // NumPy fills a new array; its numbers and units go into out= after.
                out_ = out;
                if (key != nullptr && !set_keyword(key, nullptr, nullptr)) return nullptr;
                if (key == nullptr) call_args_[row_.out] = Py_None;
            } else if (!PyArray_Check(out)) {
                PyErr_Format(PyExc_TypeError, "out= takes a ModrinArray or an ndarray, not %T", out);
                return nullptr;
            } else if (!unitless) {
                return refuse(func_, "takes a ModrinArray out= for a result in units");
            } else {
                plain_out = out;
            }
        }
    }
    PyObject *r;
    if (row_.rule == Rule::rounded) {
        r = rounded();
        if (r != nullptr && plain_out != nullptr) {
            const int copied = PyArray_CopyInto(reinterpret_cast<PyArrayObject *>(plain_out),
                                                values_of(r));
            Py_DECREF(r);
            return copied < 0 ? nullptr : Py_NewRef(plain_out);
        }
    } else {
        r = PyObject_VectorcallDict(impl_, call_args_, static_cast<std::size_t>(nargs_),
                                    own_kwargs_ != nullptr ? own_kwargs_ : kwargs_);
        if (r == nullptr || plain_out != nullptr) return r;
        r = wrap(r);
    }
    return out_ != nullptr ? into_out(r) : r;
}

}  // namespace

PyObject *array_function(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                         PyObject *kwnames) {
    const Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    if (n != 4 || (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0) ||
        !PyTuple_Check(args[2]) || !PyDict_Check(args[3])) {
        PyErr_SetString(PyExc_TypeError,
                        "__array_function__ takes a function, types, args and kwargs");
        return nullptr;
    }
    State *st = state_of(Py_TYPE(self));
    PyObject *func = args[0];
    if (any_lazy(PySequence_Fast_ITEMS(args[2]), PyTuple_GET_SIZE(args[2])) ||
        any_lazy_value(args[3]))
        return lazy_call("function", "__array_function__", nullptr, args, nargsf, kwnames);
    for (int i = 0; i < FUNCTION_COUNT; ++i)
        if (st->functions[i] == func) return Call(st, i, func, args[2], args[3]).run();
    return refuse(func,
                  "does not support ModrinArray: use a.as_number(unit) to work on the plain "
                  "numbers in a unit of your choice");
}

const char *function_name(int index) { return TABLE[index].name; }

}  // namespace modrin::array
