// assert_allclose and assert_array_equal for quantities: the expected values (and a tolerance
// with units) converted into the actual values' units, then NumPy's own checks on the numbers,
// which refuse arrays with units themselves.
#include <string>

#include "array/array.hpp"
#include "lib/binder.hpp"

namespace modrin::array {

namespace {

bool is_quantity(PyObject *x) { return is_array(x) || py::is_modrin(x) || py::is_log_modrin(x); }

bool is_unitless(const SharedUnits &u) { return u.record() == SharedUnits::unitless().record(); }

// The numbers of a read operand: its array, or its one number.
PyObject *numbers_of(Arg &x) {
    if (x.array != nullptr) return Py_NewRef(reinterpret_cast<PyObject *>(x.array));
    return PyFloat_FromDouble(x.scalar);
}

// `x` in the units `to`: a quantity converted as `+` converts it (as a difference of the same
// size when `difference`, zero points aside), plain values as numbers without units. A new
// reference; null with AssertionError naming both units when they are not compatible.
PyObject *in_units(PyObject *x, const char *name, const SharedUnits &to, bool difference) {
    Arg a;
    const bool quantity = is_quantity(x);
    if (quantity && read_operand(x, a) != Read::ok) return nullptr;
    Result<ConversionPlan> plan = plan_conversion(a.units, to);
    if (!plan) {
        PyErr_Format(PyExc_AssertionError, "%s in %s and actual in %s are not compatible", name,
                     plain_text(a.units).c_str(), plain_text(to).c_str());
        return nullptr;
    }
    if (plan->conversion.kind == Conversion::Kind::same)
        return quantity ? numbers_of(a) : Py_NewRef(x);
    if (!quantity) {
        a.array = array::numbers_of(x, false);
        if (a.array == nullptr) return nullptr;
    }
    if (difference) {
        plan->conversion.kind = Conversion::Kind::factors;
        plan->conversion.from_offset = plan->conversion.to_offset = 0.0;
    }
    PyArrayObject *r = converted(*plan, a);
    // One number stays one number, as NumPy shows a tolerance.
    return r != nullptr && a.array == nullptr ? PyArray_Return(r) : reinterpret_cast<PyObject *>(r);
}

// numpy.testing.<name>(actual, desired, **options) on the numbers, actual's units named in
// the message.
PyObject *delegate(const char *name, PyObject *actual, PyObject *desired, PyObject *options) {
    SharedUnits units = SharedUnits::unitless();
    PyObject *actual_numbers;
    if (is_quantity(actual)) {
        Arg a;
        if (read_operand(actual, a) != Read::ok) return nullptr;
        units = a.units;
        actual_numbers = numbers_of(a);
    } else {
        actual_numbers = Py_NewRef(actual);
    }
    PyObject *desired_numbers =
        actual_numbers == nullptr ? nullptr : in_units(desired, "desired", units, false);
    PyObject *atol = options == nullptr ? nullptr : PyDict_GetItemString(options, "atol");
    if (desired_numbers != nullptr && atol != nullptr && is_quantity(atol)) {
        PyObject *converted_atol = in_units(atol, "atol", units, true);
        if (converted_atol == nullptr || PyDict_SetItemString(options, "atol", converted_atol) < 0)
            Py_CLEAR(desired_numbers);
        Py_XDECREF(converted_atol);
    }
    if (desired_numbers != nullptr && !is_unitless(units)) {
        PyObject *note = PyUnicode_FromFormat("numbers in %s", plain_text(units).c_str());
        if (note == nullptr || PyDict_SetItemString(options, "err_msg", note) < 0)
            Py_CLEAR(desired_numbers);
        Py_XDECREF(note);
    }
    PyObject *r = nullptr;
    if (desired_numbers != nullptr) {
        PyObject *testing = PyImport_ImportModule("numpy.testing");
        PyObject *check = testing == nullptr ? nullptr : PyObject_GetAttrString(testing, name);
        Py_XDECREF(testing);
        PyObject *args =
            check == nullptr ? nullptr : PyTuple_Pack(2, actual_numbers, desired_numbers);
        if (args != nullptr) r = PyObject_Call(check, args, options);
        Py_XDECREF(args);
        Py_XDECREF(check);
    }
    Py_XDECREF(desired_numbers);
    Py_XDECREF(actual_numbers);
    return r;
}

PyObject *assert_allclose(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"assert_allclose()", {"actual", "desired", "rtol", "atol"}, 2};
    PyObject *arg[4];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    PyObject *options = PyDict_New();
    if (options == nullptr) return nullptr;
    PyObject *rtol = arg[2] != nullptr ? Py_NewRef(arg[2]) : PyFloat_FromDouble(1e-7);
    PyObject *atol = arg[3] != nullptr ? Py_NewRef(arg[3]) : PyLong_FromLong(0);
    PyObject *r = nullptr;
    if (rtol != nullptr && atol != nullptr && PyDict_SetItemString(options, "rtol", rtol) == 0 &&
        PyDict_SetItemString(options, "atol", atol) == 0)
        r = delegate("assert_allclose", arg[0], arg[1], options);
    Py_XDECREF(rtol);
    Py_XDECREF(atol);
    Py_DECREF(options);
    return r;
}

PyObject *assert_array_equal(PyObject *, PyObject *const *args, Py_ssize_t n, PyObject *kw) {
    static const py::Signature sig{"assert_array_equal()", {"actual", "desired"}, 2};
    PyObject *arg[2];
    if (!py::bind(sig, args, n, kw, arg)) return nullptr;
    PyObject *options = PyDict_New();
    if (options == nullptr) return nullptr;
    PyObject *r = delegate("assert_array_equal", arg[0], arg[1], options);
    Py_DECREF(options);
    return r;
}

constexpr int METHOD = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

// Written in Python, as Matplotlib's converter interface is; imported on first use so that
// modrin_array never imports Matplotlib on its own.
PyObject *matplotlib_support(PyObject *, PyObject *const *args, Py_ssize_t nargsf,
                             PyObject *kwnames) {
    return support_call("_modrin_array.plot", "matplotlib_support", args,
                        PyVectorcall_NARGS(nargsf), kwnames);
}

PyMethodDef testing_methods[] = {
    {"assert_allclose", py::fastcall<assert_allclose>(), METHOD,
     "assert_allclose(actual, desired, rtol=1e-07, atol=0)\n--\n\n"
     "numpy.testing.assert_allclose on the numbers, with desired and a tolerance with units "
     "converted into actual's units; AssertionError when they are not compatible."},
    {"assert_array_equal", py::fastcall<assert_array_equal>(), METHOD,
     "assert_array_equal(actual, desired)\n--\n\n"
     "numpy.testing.assert_array_equal on the numbers, with desired converted into actual's "
     "units; AssertionError when they are not compatible."},
    {"matplotlib_support", py::fastcall<matplotlib_support>(), METHOD,
     "matplotlib_support(enable=True)\n--\n\n"
     "Registers modrin's unit converter with Matplotlib (removes it for enable=False), so axes "
     "label their units and convert later series into them; usable as a context manager that "
     "restores the previous converters on exit."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace modrin::array
