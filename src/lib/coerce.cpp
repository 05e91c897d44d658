#include "lib/coerce.hpp"

#include <climits>
#include <cmath>

#include "error/py_error.hpp"
#include "lib/objects.hpp"
#include "lib/raise.hpp"
#include "unit/parse_cache.hpp"

namespace modrin::py {

namespace {

void append_utf8(std::string &out, Py_UCS4 c) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // unencodable lone surrogate
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Range-checks a Python int into 32 bits, with the message every caller shares.
bool int32_of(PyObject *x, double &out) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(x, &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || v < INT32_MIN || v > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<double>(v);
    return true;
}

bool log_ratio(PyObject *x, double &out) {
    auto *obj = reinterpret_cast<LogModrinObject *>(x);
    SharedAccess access(obj->access);
    if (!access) return false;
    out = std::pow(log_unit_of(obj).base, obj->value);
    return true;
}

bool fail(OnFailure on_failure) {
    if (on_failure == OnFailure::discard) PyErr_Clear();
    return false;
}

}  // namespace

bool utf8_of(PyObject *str, std::string_view &out) {
    Py_ssize_t len = 0;
    const char *text = PyUnicode_AsUTF8AndSize(str, &len);
    if (text == nullptr) return false;
    out = std::string_view(text, static_cast<std::size_t>(len));
    return true;
}

std::string object_text(PyObject *x) {
    PyObject *s = PyObject_Str(x);
    if (s == nullptr) {
        PyErr_WriteUnraisable(x);
        std::string text = "<unprintable object>";
        if (PyObject *name = PyType_GetName(Py_TYPE(x))) {
            std::string_view n;
            if (utf8_of(name, n)) text = "<unprintable " + std::string(n) + " object>";
            Py_DECREF(name);
        }
        PyErr_Clear();
        return text;
    }
    std::string text;
    std::string_view direct;
    if (utf8_of(s, direct)) {
        text.assign(direct);
    } else {
        PyErr_Clear();
        const Py_ssize_t n = PyUnicode_GetLength(s);
        for (Py_ssize_t i = 0; i < n; ++i) append_utf8(text, PyUnicode_ReadChar(s, i));
    }
    Py_DECREF(s);
    return text;
}

bool coerce_to_quantity(PyObject *x, Operand &out, OnFailure on_failure) {
    // Quantities first: a float subtype check walks the operand's MRO.
    if (is_modrin(x)) {
        auto *obj = reinterpret_cast<ModrinObject *>(x);
        if (!out.hold.acquire(obj->access)) return fail(on_failure);
        out.value = obj->value;
        out.held.emplace(obj);
        out.units = &out.held->get();
        return true;
    }
    if (PyLong_CheckExact(x)) {
        out.units = &SharedUnits::unitless();
        return int32_of(x, out.value) || fail(on_failure);
    }
    if (PyFloat_Check(x)) {
        out.value = PyFloat_AS_DOUBLE(x);
        out.units = &SharedUnits::unitless();
        return true;
    }
    // A LogModrin or an int: a plain number without units.
    if (is_log_modrin(x) || PyLong_Check(x)) {
        if (!coerce_to_number(x, out.value, on_failure)) return false;
        out.units = &SharedUnits::unitless();
        return true;
    }
    if (PyUnicode_Check(x)) {
        std::string_view text;
        if (!utf8_of(x, text)) return fail(on_failure);
        out.parsed = from_unit_name_cached(text);
        if (!out.parsed) {
            if (on_failure == OnFailure::raise) raise(unit_not_found(std::string(text)));
            return false;
        }
        out.value = 1.0;
        out.units = &out.parsed;
        return true;
    }
    if (on_failure == OnFailure::raise) raise(not_coercible_to_unit(object_text(x)));
    return false;
}

bool coerce_to_number(PyObject *x, double &out, OnFailure on_failure) {
    if (PyLong_CheckExact(x)) return int32_of(x, out) || fail(on_failure);
    if (PyFloat_Check(x)) {
        out = PyFloat_AS_DOUBLE(x);
        return true;
    }
    if (PyLong_Check(x)) return int32_of(x, out) || fail(on_failure);
    if (is_log_modrin(x)) return log_ratio(x, out) || fail(on_failure);
    if (on_failure == OnFailure::raise) raise(not_coercible_to_number(object_text(x)));
    return false;
}

}  // namespace modrin::py
