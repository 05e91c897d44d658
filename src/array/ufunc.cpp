// NumPy's protocols for functions: __array_ufunc__ of ModrinArray and of Modrin, and
// __array_function__. Ufuncs and functions without a rule raise TypeError naming themselves,
// so no unit is ever dropped on the way.
#include "array/array.hpp"
#include "array/hooks.hpp"
#include "lib/raise.hpp"

namespace modrin::array {

namespace {

PyObject *name_of(PyObject *callable) {
    PyObject *name = PyObject_GetAttrString(callable, "__name__");
    if (name == nullptr) {
        PyErr_Clear();
        name = PyObject_Repr(callable);
    }
    return name;
}

int find(PyObject *const *table, int count, PyObject *x) {
    for (int i = 0; i < count; ++i)
        if (table[i] == x) return i;
    return -1;
}

PyObject *refuse_ufunc(PyObject *ufunc, const char *why) {
    PyObject *name = name_of(ufunc);
    if (name == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "ufunc '%U' %s", name, why);
    Py_DECREF(name);
    return nullptr;
}

// ufunc(*inputs) by the table's rules; `scalars` results (no array among the inputs) are
// Modrins and NumPy bools.
PyObject *call_ufunc(State *st, PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames) {
    const Py_ssize_t n = PyVectorcall_NARGS(nargsf);
    if (n < 2) {
        PyErr_SetString(PyExc_TypeError, "__array_ufunc__ takes a ufunc, a method and inputs");
        return nullptr;
    }
    PyObject *ufunc = args[0], *method = args[1];
    const int index = find(st->ufuncs, static_cast<int>(Ufunc::count), ufunc);
    if (index < 0) return refuse_ufunc(ufunc, "does not support ModrinArray operands with units");
    if (!PyUnicode_Check(method) || !PyUnicode_EqualToUTF8(method, "__call__"))
        return refuse_ufunc(ufunc, "supports only plain calls with ModrinArray operands");
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0)
        return refuse_ufunc(ufunc, "takes no keyword arguments with ModrinArray operands");
    const auto u = static_cast<Ufunc>(index);
    const bool is_binary = u < Ufunc::negative;
    if (n != (is_binary ? 4 : 3)) return refuse_ufunc(ufunc, "was given the wrong number of inputs");
    Arg a, b;
    Read read = read_operand(args[2], a);
    if (read == Read::ok && is_binary) read = read_operand(args[3], b);
    if (read == Read::refused) Py_RETURN_NOTIMPLEMENTED;
    if (read == Read::failed) return nullptr;
    const bool scalars = a.array == nullptr && (!is_binary || b.array == nullptr);
    switch (u) {
        case Ufunc::add: return wrap(st, arithmetic(Op::add, a, b), scalars);
        case Ufunc::subtract: return wrap(st, arithmetic(Op::sub, a, b), scalars);
        case Ufunc::multiply: return wrap(st, arithmetic(Op::mul, a, b), scalars);
        case Ufunc::divide: return wrap(st, arithmetic(Op::div, a, b), scalars);
        case Ufunc::power: return wrap(st, arithmetic(Op::pow, a, b), scalars);
        case Ufunc::less:
        case Ufunc::less_equal:
        case Ufunc::equal:
        case Ufunc::not_equal:
        case Ufunc::greater:
        case Ufunc::greater_equal: {
            const auto c = static_cast<Comparison>(index - static_cast<int>(Ufunc::less));
            PyArrayObject *r = comparison(c, a, b);
            if (r == nullptr || !scalars) return reinterpret_cast<PyObject *>(r);
            return PyArray_Return(r);
        }
        case Ufunc::negative: return wrap(st, unary(Unary::negative, a), scalars);
        case Ufunc::positive: return wrap(st, unary(Unary::positive, a), scalars);
        case Ufunc::absolute: return wrap(st, unary(Unary::absolute, a), scalars);
        case Ufunc::square: return wrap(st, unary(Unary::square, a), scalars);
        case Ufunc::reciprocal: return wrap(st, unary(Unary::reciprocal, a), scalars);
        case Ufunc::sqrt: return wrap(st, unary(Unary::sqrt, a), scalars);
        case Ufunc::count: break;
    }
    return py::raise_internal_fault("a ufunc without a rule");
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
    Arg q, a;
    if (read_operand(modrin, q) != Read::ok || read_operand(array, a) != Read::ok)
        return nullptr;
    return rich_comparison(op, q, a);
}

}  // namespace modrin::array
