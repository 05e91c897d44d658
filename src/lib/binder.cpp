#include "lib/binder.hpp"

#include <climits>
#include <cstring>
#include <vector>

#include "error/py_error.hpp"

namespace modrin::py {

namespace {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string join_names(const std::vector<const char *> &names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

const char *param_at(const Signature &sig, std::size_t i) { return sig.params.begin()[i]; }

}  // namespace

bool bind_general(const Signature &sig, PyObject *const *args, Py_ssize_t nargsf,
                  PyObject *kwnames, PyObject **out) {
    const std::size_t n_params = sig.params.size();
    const std::size_t n_pos = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    for (std::size_t i = 0; i < n_params; ++i) out[i] = nullptr;

    if (n_pos > n_params) {
        const char *verb = n_pos == 1 ? "was" : "were";
        if (sig.required == n_params)
            PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zu %s given",
                         sig.full_name, n_params, n_pos, verb);
        else
            PyErr_Format(PyExc_TypeError,
                         "%s takes from %zu to %zu positional arguments but %zu %s given",
                         sig.full_name, sig.required, n_params, n_pos, verb);
        return false;
    }
    for (std::size_t i = 0; i < n_pos; ++i) out[i] = args[i];

    const Py_ssize_t n_kw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < n_kw; ++k) {
        PyObject *key = PyTuple_GET_ITEM(kwnames, k);
        Py_ssize_t len = 0;
        const char *name = PyUnicode_AsUTF8AndSize(key, &len);
        if (name == nullptr) return false;
        std::size_t match = n_params;
        for (std::size_t i = 0; i < n_params; ++i) {
            const char *p = param_at(sig, i);
            if (std::strlen(p) == static_cast<std::size_t>(len) && std::memcmp(p, name, len) == 0) {
                match = i;
                break;
            }
        }
        if (match == n_params) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                         sig.full_name, key);
            return false;
        }
        if (out[match] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                         sig.full_name, param_at(sig, match));
            return false;
        }
        out[match] = args[n_pos + static_cast<std::size_t>(k)];
    }

    std::vector<const char *> missing;
    for (std::size_t i = 0; i < sig.required; ++i)
        if (out[i] == nullptr) missing.push_back(param_at(sig, i));
    if (!missing.empty()) {
        std::string names = join_names(missing);
        PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", sig.full_name,
                     missing.size(), missing.size() == 1 ? "argument" : "arguments",
                     names.c_str());
        return false;
    }
    return true;
}

void raise_not_instance(PyObject *obj, const char *expected) {
    if (obj == Py_None)
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    else {
        PyObject *name = PyType_GetName(Py_TYPE(obj));
        if (name == nullptr) return;
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name, expected);
        Py_DECREF(name);
    }
}

bool bind_int32(PyObject *obj, const char *param, std::int64_t &out) {
    PyObject *index = PyNumber_Index(obj);
    if (index != nullptr) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(index, &overflow);
        Py_DECREF(index);
        if (!(v == -1 && PyErr_Occurred())) {
            if (overflow == 0 && v >= INT32_MIN && v <= INT32_MAX) {
                out = v;
                return true;
            }
            PyErr_SetString(PyExc_OverflowError,
                            "out of range integral type conversion attempted");
        }
    }
    add_processing_note(param);
    return false;
}

std::optional<std::string> bind_str(PyObject *obj, const char *param) {
    std::optional<std::string_view> text = bind_str_view(obj, param);
    if (!text) return std::nullopt;
    return std::string(*text);
}

std::optional<std::string_view> bind_str_view(PyObject *obj, const char *param) {
    if (!PyUnicode_Check(obj)) {
        raise_not_instance(obj, "str");
        add_processing_note(param);
        return std::nullopt;
    }
    Py_ssize_t len = 0;
    const char *text = PyUnicode_AsUTF8AndSize(obj, &len);
    if (text == nullptr) {
        add_processing_note(param);
        return std::nullopt;
    }
    return std::string_view(text, static_cast<std::size_t>(len));
}

}  // namespace modrin::py
