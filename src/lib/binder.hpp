// Argument binding shared by every method: positional-or-keyword parameters with defaults,
// and the conversions of bound values with their "while processing" notes.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace modrin::py {

struct Signature {
    const char *full_name;  // "Modrin.unit()", as messages show it
    std::initializer_list<const char *> params;
    std::size_t required;   // the first `required` params have no default
};

// Binds a vectorcall argument list to sig's parameters: out[i] is a borrowed reference, or
// nullptr for an omitted optional parameter. On failure sets TypeError and returns false.
bool bind_general(const Signature &sig, PyObject *const *args, Py_ssize_t nargsf,
                  PyObject *kwnames, PyObject **out);
inline bool bind(const Signature &sig, PyObject *const *args, Py_ssize_t nargsf,
                 PyObject *kwnames, PyObject **out) {
    // The usual call, every parameter by position, needs no checks.
    const auto n = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (kwnames == nullptr && n == sig.params.size()) {
        for (std::size_t i = 0; i < n; ++i) out[i] = args[i];
        return true;
    }
    return bind_general(sig, args, nargsf, kwnames, out);
}

// Sets TypeError "'<type>' object is not an instance of '<expected>'" (or the None form).
void raise_not_instance(PyObject *obj, const char *expected);

// An int (or an object with __index__) within 32 bits; on failure raises with the note.
bool bind_int32(PyObject *obj, const char *param, std::int64_t &out);

// The UTF-8 text of a str argument; on failure raises with the parameter's note.
std::optional<std::string> bind_str(PyObject *obj, const char *param);
// The same text without a copy, valid while `obj` lives.
std::optional<std::string_view> bind_str_view(PyObject *obj, const char *param);

}  // namespace modrin::py
