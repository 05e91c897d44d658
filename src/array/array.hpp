// The ModrinArray class: its instance layout, the module state it reads, and the pieces the
// operators, methods and NumPy protocols share.
#pragma once

#include "array/numpy.hpp"

#include <cstddef>
#include <span>

#include "lib/objects.hpp"
#include "unit/element_loops.hpp"
#include "unit/shared_units.hpp"

namespace modrin::array {

using py::AccessFlag;

// The numbers never change their object after construction (in-place operations write into
// its buffer), so only the units need the access flag: a change of units takes exclusive
// access, and every reader copies a counted handle under shared access.
struct ArrayObject {
    PyObject_HEAD
    AccessFlag access;  // payload: the UnitsRecord the instance holds a count on
    PyObject *values;   // a float64 ndarray; the one seam where another array library fits
};

// The number of ufuncs with a rule of their own (the table in ufunc.cpp).
constexpr int UFUNC_COUNT = 74;
// The NumPy functions __array_function__ takes over (functions.cpp keeps their table): the
// name of each under numpy, dotted within its submodule ("linalg.norm").
constexpr int FUNCTION_COUNT = 93;
const char *function_name(int index);

struct State {
    PyTypeObject *array_type;
    PyTypeObject *modrin_type;
    PyObject *ufuncs[UFUNC_COUNT];  // in the table's order; null where NumPy lacks one
    PyObject *functions[FUNCTION_COUNT];
    PyObject *implementations[FUNCTION_COUNT];  // each one's _implementation, past the dispatch
    PyObject *array2string;
    PyObject *copyto;
};

State *state_of(PyTypeObject *array_type);
// The state of this interpreter's modrin_array, importing it when needed; null with an
// exception set.
State *current_state();

void array_dealloc(PyObject *self) noexcept;
inline bool is_array(PyObject *obj) { return Py_TYPE(obj)->tp_dealloc == &array_dealloc; }
inline ArrayObject *as_array(PyObject *obj) { return reinterpret_cast<ArrayObject *>(obj); }

// A new instance holding `values` (a new reference is taken) in `units`.
PyObject *new_array(PyTypeObject *type, PyObject *values, SharedUnits units);
PyTypeObject *create_array_type(PyObject *module);
// The module's functions: the testing helpers.
extern PyMethodDef testing_methods[];

// A counted handle to the units, for a caller holding the instance's access.
inline SharedUnits held_units(const ArrayObject *obj) {
    return SharedUnits::borrow(reinterpret_cast<detail::UnitsRecord *>(obj->access.payload()));
}

// The instance's units as a counted handle, and its numbers (borrowed: they live as long as
// the instance); false with RuntimeError set when another thread changes its units.
bool read_units(PyObject *self, SharedUnits &out);
inline PyArrayObject *values_of(PyObject *self) {
    return reinterpret_cast<PyArrayObject *>(as_array(self)->values);
}

// ---- the parts written in Python ---------------------------------------------------------------

// Arrays may hold a lazy collection (a Dask array) of float64 numbers instead of an ndarray.
// Every operation on one is built on the collection's graph by _modrin_array.lazy; the compiled
// paths never read its numbers.
inline bool is_lazy(PyObject *array) { return !PyArray_Check(as_array(array)->values); }
inline bool is_lazy_array(PyObject *obj) { return is_array(obj) && is_lazy(obj); }
// True for a collection that can stand as an array's numbers.
bool is_lazy_values(PyObject *values);
// Whether any of the objects, or of the lists and tuples among them, is a lazy array; and
// whether any of a dict's values is.
bool any_lazy(PyObject *const *objects, Py_ssize_t n);
bool any_lazy_value(PyObject *dict);
// module.function(*args), the module imported on first use.
PyObject *support_call(const char *module, const char *function, PyObject *const *args,
                       Py_ssize_t nargs, PyObject *kwnames);
// _modrin_array.lazy.<function>(name, self, *args, **kwargs): `name` says which operation;
// no self when it is null.
PyObject *lazy_call(const char *function, const char *name, PyObject *self,
                    PyObject *const *args, Py_ssize_t nargsf, PyObject *kwnames);
// The lazy module's names of the operators (indexed by Op) and comparisons (by Py_LT ...).
extern const char *const OPERATOR_NAMES[];
extern const char *const COMPARISON_NAMES[];
// left <name> right, one of them lazy.
PyObject *lazy_operator(const char *name, PyObject *left, PyObject *right);

// ---- operands ---------------------------------------------------------------------------------

// One operand of an operation: an array of doubles, or one number; with its units. A
// ModrinArray operand stays under shared access while the operand lives, so no other thread
// changes its units while its numbers are read as being in them.
struct Arg {
    Arg() = default;
    Arg(const Arg &) = delete;
    Arg &operator=(const Arg &) = delete;
    ~Arg() { Py_XDECREF(array); }

    PyArrayObject *array = nullptr;  // a float64 array, or null for a number
    double scalar = 0.0;
    SharedUnits units = SharedUnits::unitless();
    bool quantity = false;  // a Modrin or ModrinArray, which acts as `self` on the left
    PyObject *source = nullptr;
    py::SharedHold hold;
};

enum class Read { ok, refused, failed };  // refused: not an operand type (no exception set)
Read read_operand(PyObject *x, Arg &out);

// A float64 array of the numbers in `values` (bool, int or float; lists as NumPy reads them),
// or null with TypeError naming any other dtype.
PyArrayObject *numbers_of(PyObject *values, bool copy);

// ---- loops -----------------------------------------------------------------------------------

// A non-owning reference to a callable, for the element kernels.
template <class Signature>
class FunctionRef;
template <class R, class... A>
class FunctionRef<R(A...)> {
public:
    template <class F>
    FunctionRef(F &&f) noexcept  // NOLINT: converts implicitly, as a callable parameter does
        : obj_(static_cast<void *>(&f)), call_([](void *o, A... a) -> R {
              return (*static_cast<std::remove_reference_t<F> *>(o))(a...);
          }) {}
    R operator()(A... a) const { return call_(obj_, a...); }

private:
    void *obj_;
    R (*call_)(void *, A...);
};

// Large runs release the GIL, as NumPy's own loops do; the kernels never touch Python.
class GilRelease {
public:
    explicit GilRelease(npy_intp size)
        : state_(size >= (npy_intp{1} << 14) ? PyEval_SaveThread() : nullptr) {}
    GilRelease(const GilRelease &) = delete;
    GilRelease &operator=(const GilRelease &) = delete;
    ~GilRelease() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }

private:
    PyThreadState *state_;
};

// kernel(n, inputs, output) for runs of elements: the inputs in the order given.
using Kernel = FunctionRef<void(std::size_t, const Input *, Output)>;

// Broadcasts the operands against each other and runs the kernel over them into `out`, or
// into a new array of `out_type` when `out` is null. A new reference to the output array, or
// null with an exception set.
PyArrayObject *run_elements(std::span<const Arg *const> args, PyArrayObject *out, int out_type,
                            Kernel kernel);

// ---- operations ------------------------------------------------------------------------------

struct Outcome {
    PyArrayObject *values = nullptr;  // owned by the caller
    SharedUnits units;
};

// left op right, with `self` chosen as Python chooses it for Modrin: the left operand when it is
// a Modrin or ModrinArray, otherwise the right one, reflected. Null values with an exception set
// on failure.
Outcome arithmetic(Op op, const Arg &left, const Arg &right, PyArrayObject *out = nullptr);
// A bool array, or null.
PyArrayObject *comparison(Comparison c, const Arg &left, const Arg &right);
// The same for a rich comparison's `op` (Py_LT ...), as the bool array.
PyObject *rich_comparison(int op, const Arg &left, const Arg &right);

enum class Unary { negative, positive, absolute, square, reciprocal, sqrt, exp, log, log10 };
Outcome unary(Unary u, const Arg &x);

// The numbers converted by `plan` into a new array.
PyArrayObject *converted(const ConversionPlan &plan, const Arg &x, Sign sign = Sign::keep);

// The units of results: NumPy's numbers are in `raw`, and move by `conversion` into `units`.
struct Target {
    bool plain = true;  // no units: NumPy's result as it is
    SharedUnits units, raw;
    Conversion conversion;
};
Target in_units(const SharedUnits &u);

// The numbers (stolen) moved by the target's conversion: in place when nobody else holds
// them, else into a new array.
PyArrayObject *moved(PyArrayObject *numbers, const Target &t);
// One result of NumPy's (stolen) in the target's units: a ModrinArray for an array, a Modrin
// for a number.
PyObject *with_target(State *st, PyObject *r, const Target &t);
// How many numbers each result of a reduction takes along `axis` (null or None: all); -1 when
// NumPy is to judge.
npy_intp reduced_count(PyArrayObject *a, PyObject *axis);

// Bools of x's shape, all `value`: what == and != give for an operand that equals no element.
PyArrayObject *bools_like(const Arg &x, bool value);

// The results as Python objects: a ModrinArray, or for operands that were all scalars (the
// ufuncs on Modrin) a Modrin.
PyObject *wrap(State *state, Outcome r, bool scalars);

// Looks up NumPy's ufuncs in `numpy` for the table; -1 with an exception set.
int cache_ufuncs(State *state, PyObject *numpy);

// The instance's ufunc protocol and the functions it takes over.
PyObject *array_ufunc(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                      PyObject *kwnames);
PyObject *array_function(PyObject *self, PyObject *const *args, Py_ssize_t nargsf,
                         PyObject *kwnames);

}  // namespace modrin::array
