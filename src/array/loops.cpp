// Running the core's element loops over NumPy arrays: broadcasting, layouts and overlap are
// NumPy's iterator's; the arithmetic is the core's.
#include <cmath>

#include "array/array.hpp"
#include "lib/raise.hpp"

namespace modrin::array {

namespace {

Input scalar_input(const Arg &a) { return {reinterpret_cast<const char *>(&a.scalar), 0}; }

// Every array operand C-contiguous with one shape: one run over all elements.
bool one_run(std::span<const Arg *const> args, PyArrayObject *&first) {
    first = nullptr;
    for (const Arg *a : args) {
        if (a->array == nullptr) continue;
        if (!PyArray_IS_C_CONTIGUOUS(a->array)) return false;
        if (first == nullptr) {
            first = a->array;
        } else if (PyArray_NDIM(a->array) != PyArray_NDIM(first) ||
                   !PyArray_CompareLists(PyArray_DIMS(a->array), PyArray_DIMS(first),
                                         PyArray_NDIM(first))) {
            return false;
        }
    }
    return true;
}

}  // namespace

PyArrayObject *run_elements(std::span<const Arg *const> args, PyArrayObject *out, int out_type,
                            Kernel kernel) {
    const std::size_t nin = args.size();
    Input inputs[4];
    if (nin > 4) {
        PyErr_SetString(PyExc_SystemError, "too many operands for an element loop");
        return nullptr;
    }
    PyArrayObject *first = nullptr;
    if (out == nullptr && one_run(args, first)) {
        const int ndim = first == nullptr ? 0 : PyArray_NDIM(first);
        npy_intp *dims = first == nullptr ? nullptr : PyArray_DIMS(first);
        auto *r = reinterpret_cast<PyArrayObject *>(PyArray_SimpleNew(ndim, dims, out_type));
        if (r == nullptr) return nullptr;
        const npy_intp n = PyArray_SIZE(r);
        for (std::size_t i = 0; i < nin; ++i)
            inputs[i] = args[i]->array == nullptr
                            ? scalar_input(*args[i])
                            : Input{PyArray_BYTES(args[i]->array),
                                    static_cast<std::ptrdiff_t>(sizeof(double))};
        {
            GilRelease gil(n);
            kernel(static_cast<std::size_t>(n), inputs,
                   {PyArray_BYTES(r), static_cast<std::ptrdiff_t>(PyArray_ITEMSIZE(r))});
        }
        return r;
    }

    // The general case: NumPy's iterator over the arrays and the output; numbers stay put. The
    // kernels read each element before writing its result, so an output that is an input,
    // element for element, needs no copy.
    PyArrayObject *ops[5];
    npy_uint32 op_flags[5];
    PyArray_Descr *op_dtypes[5] = {};
    int where[4];  // the iterator's operand of each array input
    int nop = 0;
    for (std::size_t i = 0; i < nin; ++i) {
        where[i] = -1;
        if (args[i]->array == nullptr) continue;
        where[i] = nop;
        ops[nop] = args[i]->array;
        op_flags[nop++] = NPY_ITER_READONLY | NPY_ITER_OVERLAP_ASSUME_ELEMENTWISE;
    }
    const int out_op = nop;
    ops[nop] = out;
    op_flags[nop] = out == nullptr ? NPY_ITER_WRITEONLY | NPY_ITER_ALLOCATE
                                   : NPY_ITER_WRITEONLY | NPY_ITER_NO_BROADCAST |
                                         NPY_ITER_OVERLAP_ASSUME_ELEMENTWISE;
    op_dtypes[nop++] = PyArray_DescrFromType(out_type);
    NpyIter *iter = NpyIter_MultiNew(
        nop, ops,
        NPY_ITER_EXTERNAL_LOOP | NPY_ITER_ZEROSIZE_OK | NPY_ITER_GROWINNER |
            NPY_ITER_COPY_IF_OVERLAP,
        NPY_KEEPORDER, NPY_NO_CASTING, op_flags, op_dtypes);
    Py_DECREF(op_dtypes[out_op]);
    if (iter == nullptr) return nullptr;
    PyArrayObject *result = out != nullptr ? out : NpyIter_GetOperandArray(iter)[out_op];
    Py_INCREF(result);
    if (NpyIter_GetIterSize(iter) > 0) {
        NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
        if (next == nullptr) {
            NpyIter_Deallocate(iter);
            Py_DECREF(result);
            return nullptr;
        }
        char **data = NpyIter_GetDataPtrArray(iter);
        npy_intp *strides = NpyIter_GetInnerStrideArray(iter);
        npy_intp *size = NpyIter_GetInnerLoopSizePtr(iter);
        GilRelease gil(NpyIter_GetIterSize(iter));
        do {
            for (std::size_t i = 0; i < nin; ++i)
                inputs[i] = where[i] < 0 ? scalar_input(*args[i])
                                         : Input{data[where[i]], strides[where[i]]};
            kernel(static_cast<std::size_t>(*size), inputs, {data[out_op], strides[out_op]});
        } while (next(iter));
    }
    // Deallocation writes back an output the iterator had to copy for overlap.
    if (NpyIter_Deallocate(iter) != NPY_SUCCEED) {
        Py_DECREF(result);
        return nullptr;
    }
    return result;
}

// ---- operations ------------------------------------------------------------------------------

namespace {

template <std::size_t N>
PyArrayObject *run(const Arg *const (&args)[N], PyArrayObject *out, int out_type, Kernel k) {
    return run_elements(std::span<const Arg *const>(args, N), out, out_type, k);
}

Outcome failed(const ModrinError &e) {
    py::raise(e);
    return {};
}

// The exponent of an array power: one number for every element, unless the base has no units
// at all (its powers by any exponents have none).
bool one_exponent(const Arg &e, double &out) {
    if (e.array == nullptr) {
        out = e.scalar;
        return true;
    }
    const npy_intp n = PyArray_SIZE(e.array);
    bool same = n > 0;
    double first = 0.0;
    if (same) {
        NpyIter *iter = NpyIter_New(e.array, NPY_ITER_READONLY | NPY_ITER_EXTERNAL_LOOP,
                                    NPY_KEEPORDER, NPY_NO_CASTING, nullptr);
        if (iter == nullptr) return false;
        NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
        if (next == nullptr) {
            NpyIter_Deallocate(iter);
            return false;
        }
        char **data = NpyIter_GetDataPtrArray(iter);
        npy_intp *stride = NpyIter_GetInnerStrideArray(iter);
        npy_intp *size = NpyIter_GetInnerLoopSizePtr(iter);
        first = *reinterpret_cast<const double *>(data[0]);
        do {
            const char *p = data[0];
            for (npy_intp i = 0; i < *size && same; ++i, p += *stride) {
                const double v = *reinterpret_cast<const double *>(p);
                same = v == first || (std::isnan(v) && std::isnan(first));
            }
        } while (same && next(iter));
        NpyIter_Deallocate(iter);
    }
    if (!same) {
        PyErr_SetString(PyExc_ValueError,
                        "an exponent array must hold one exponent for every element, as the "
                        "units of the result depend on it");
        return false;
    }
    out = first;
    return true;
}

Outcome power(const Arg &base, const Arg &exponent, PyArrayObject *out) {
    const Arg *const args[] = {&base, &exponent};
    if (exponent.array != nullptr && base.units.record() == SharedUnits::unitless().record()) {
        // Each element raised to its own exponent, the exponents first made plain numbers.
        const Arg *plain = &exponent;
        Arg converted_exponent;
        if (exponent.units.record() != SharedUnits::unitless().record()) {
            Result<ConversionPlan> plan = plan_conversion(exponent.units, SharedUnits::unitless());
            if (!plan) return failed(plan.error());
            converted_exponent.array = converted(*plan, exponent);
            if (converted_exponent.array == nullptr) return {};
            plain = &converted_exponent;
        }
        const Arg *const plain_args[] = {&base, plain};
        PyArrayObject *r = run(plain_args, out, NPY_DOUBLE, [](std::size_t n, const Input *in, Output o) {
            plain_power_elements(n, in[0], in[1], o);
        });
        return {r, SharedUnits::unitless()};
    }
    double e;
    if (!one_exponent(exponent, e)) return {};
    Result<PowerPlan> plan = plan_power(base.units, e, exponent.units);
    if (!plan) return failed(plan.error());
    PyArrayObject *r = run(args, out, NPY_DOUBLE, [&](std::size_t n, const Input *in, Output o) {
        power_elements(*plan, n, in[0], o);
    });
    return {r, plan->units};
}

}  // namespace

Outcome arithmetic(Op op, const Arg &left, const Arg &right, PyArrayObject *out) {
    if (op == Op::pow) return power(left, right, out);
    const bool reflected = !left.quantity;
    const Arg &self = reflected ? right : left, &other = reflected ? left : right;
    Result<OperationPlan> plan = plan_operation(op, self.units, other.units, reflected);
    if (!plan) return failed(plan.error());
    const Arg *const args[] = {&left, &right};
    PyArrayObject *r = run(args, out, NPY_DOUBLE, [&](std::size_t n, const Input *in, Output o) {
        operate_elements(*plan, n, in[reflected ? 1 : 0], in[reflected ? 0 : 1], o);
    });
    return {r, plan->units};
}

PyArrayObject *comparison(Comparison c, const Arg &left, const Arg &right) {
    const bool reflected = !left.quantity;
    const Arg &x = reflected ? right : left, &y = reflected ? left : right;
    if (reflected) {
        switch (c) {
            case Comparison::lt: c = Comparison::gt; break;
            case Comparison::le: c = Comparison::ge; break;
            case Comparison::gt: c = Comparison::lt; break;
            case Comparison::ge: c = Comparison::le; break;
            case Comparison::eq:
            case Comparison::ne: break;
        }
    }
    Result<ConversionPlan> plan = plan_conversion(y.units, x.units);
    if (!plan) {
        py::raise(plan.error());
        return nullptr;
    }
    const Arg *const args[] = {&left, &right};
    return run(args, nullptr, NPY_BOOL, [&](std::size_t n, const Input *in, Output o) {
        compare_elements(*plan, c, n, in[reflected ? 1 : 0], in[reflected ? 0 : 1], o);
    });
}

PyObject *rich_comparison(int op, const Arg &left, const Arg &right) {
    Comparison c;
    switch (op) {
        case Py_LT: c = Comparison::lt; break;
        case Py_LE: c = Comparison::le; break;
        case Py_EQ: c = Comparison::eq; break;
        case Py_NE: c = Comparison::ne; break;
        case Py_GT: c = Comparison::gt; break;
        case Py_GE: c = Comparison::ge; break;
        default: return py::raise_internal_fault("invalid compareop");
    }
    return reinterpret_cast<PyObject *>(comparison(c, left, right));
}

PyArrayObject *converted(const ConversionPlan &plan, const Arg &x, Sign sign) {
    const Arg *const args[] = {&x};
    return run(args, nullptr, NPY_DOUBLE, [&](std::size_t n, const Input *in, Output o) {
        convert_elements(plan, n, in[0], o, sign);
    });
}

Outcome unary(Unary u, const Arg &x) {
    const Arg *const args[] = {&x};
    switch (u) {
        case Unary::negative:
        case Unary::positive: {
            // As Modrin's unary operators: the number normalised with its units.
            const Derived &form = simple_form(x.units);
            SharedUnits target = form.target ? form.target : x.units;
            const ConversionPlan plan{form.conversion, x.units, target};
            return {converted(plan, x, u == Unary::negative ? Sign::negate : Sign::keep),
                    std::move(target)};
        }
        case Unary::absolute: {
            const ConversionPlan plan{Conversion{}, x.units, x.units};
            return {converted(plan, x, Sign::absolute), x.units};
        }
        case Unary::square:
        case Unary::sqrt: {
            Result<PowerPlan> plan =
                plan_power(x.units, u == Unary::square ? 2.0 : 0.5, SharedUnits::unitless());
            if (!plan) return failed(plan.error());
            PyArrayObject *r = run(args, nullptr, NPY_DOUBLE, [&](std::size_t n, const Input *in, Output o) {
                if (u == Unary::square)
                    power_elements(*plan, n, in[0], o);
                else
                    root_elements(*plan, n, in[0], o);
            });
            return {r, plan->units};
        }
        case Unary::reciprocal: {
            // 1 / x, as the reflected division of a Modrin by a plain number.
            Arg one;
            one.scalar = 1.0;
            return arithmetic(Op::div, one, x);
        }
        case Unary::exp:
        case Unary::log:
        case Unary::log10: {
            // As Modrin's methods: the number as a plain one (an angle through its factor).
            const SharedUnits &none = SharedUnits::unitless();
            Arg plain;
            const Arg *in = &x;
            if (x.units.record() != none.record()) {
                Result<ConversionPlan> plan = plan_conversion(x.units, none);
                if (!plan) return failed(plan.error());
                if ((plain.array = converted(*plan, x)) == nullptr) return {};
                in = &plain;
            }
            const Elementary f = u == Unary::exp   ? Elementary::exp
                                 : u == Unary::log ? Elementary::log
                                                   : Elementary::log10;
            const Arg *const plain_args[] = {in};
            PyArrayObject *r = run(plain_args, plain.array, NPY_DOUBLE, [&](std::size_t n, const Input *i, Output o) {
                elementary_elements(f, n, i[0], o);
            });
            return {r, none};
        }
    }
    return {};
}

Target in_units(const SharedUnits &u) { return {false, u, u, Conversion{}}; }

// The numbers (stolen) moved by the target's conversion: in place when nobody else holds
// them, else into a new array.
PyArrayObject *moved(PyArrayObject *numbers, const Target &t) {
    if (t.conversion.kind == Conversion::Kind::same) return numbers;
    const ConversionPlan plan{t.conversion, t.raw, t.units};
    if (Py_REFCNT(numbers) == 1 && PyArray_BASE(numbers) == nullptr &&
        PyArray_CHKFLAGS(numbers, NPY_ARRAY_OWNDATA | NPY_ARRAY_CARRAY)) {
        const npy_intp n = PyArray_SIZE(numbers);
        char *data = PyArray_BYTES(numbers);
        GilRelease gil(n);
        convert_elements(plan, static_cast<std::size_t>(n), {data, sizeof(double)},
                         {data, sizeof(double)});
        return numbers;
    }
    Arg x;
    x.array = numbers;
    return converted(plan, x);
}

// One result of NumPy's (stolen) in the target's units: a ModrinArray for an array, a Modrin
// for a number.
PyObject *with_target(State *st, PyObject *r, const Target &t) {
    if (r == nullptr || t.plain) return r;
    if (PyArray_Check(r)) {
        PyArrayObject *numbers = numbers_of(r, false);
        Py_DECREF(r);
        if (numbers == nullptr || (numbers = moved(numbers, t)) == nullptr) return nullptr;
        PyObject *out = new_array(st->array_type, reinterpret_cast<PyObject *>(numbers), t.units);
        Py_DECREF(numbers);
        return out;
    }
    const double v = PyFloat_AsDouble(r);
    Py_DECREF(r);
    if (v == -1.0 && PyErr_Occurred()) return nullptr;
    return py::new_modrin(st->modrin_type, t.conversion.apply(v), t.units);
}

// How many numbers each result of a reduction takes along `axis`; -1 when NumPy is to judge.
npy_intp reduced_count(PyArrayObject *a, PyObject *axis) {
    if (a == nullptr) return 1;
    const int ndim = PyArray_NDIM(a);
    if (axis == nullptr || axis == Py_None) return PyArray_SIZE(a);
    PyObject *axes = PyTuple_Check(axis) ? Py_NewRef(axis) : PyTuple_Pack(1, axis);
    if (axes == nullptr) return -1;
    npy_intp n = 1;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(axes) && n >= 0; ++i) {
        Py_ssize_t ax = PyNumber_AsSsize_t(PyTuple_GET_ITEM(axes, i), nullptr);
        if (ax == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            n = -1;
            break;
        }
        if (ax < 0) ax += ndim;
        n = ax >= 0 && ax < ndim ? n * PyArray_DIM(a, static_cast<int>(ax)) : -1;
    }
    Py_DECREF(axes);
    return n;
}

PyArrayObject *bools_like(const Arg &x, bool value) {
    const int ndim = x.array == nullptr ? 0 : PyArray_NDIM(x.array);
    auto *r = reinterpret_cast<PyArrayObject *>(
        PyArray_ZEROS(ndim, x.array == nullptr ? nullptr : PyArray_DIMS(x.array), NPY_BOOL, 0));
    if (r != nullptr && value && PyArray_FillWithScalar(r, Py_True) < 0) Py_CLEAR(r);
    return r;
}

PyObject *wrap(State *state, Outcome r, bool scalars) {
    if (r.values == nullptr) return nullptr;
    PyObject *result;
    if (scalars && PyArray_NDIM(r.values) == 0) {
        result = py::new_modrin(state->modrin_type,
                                *reinterpret_cast<const double *>(PyArray_DATA(r.values)),
                                std::move(r.units));
    } else {
        result = new_array(state->array_type, reinterpret_cast<PyObject *>(r.values),
                           std::move(r.units));
    }
    Py_DECREF(r.values);
    return result;
}

}  // namespace modrin::array
