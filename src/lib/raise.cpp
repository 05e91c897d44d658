#include "lib/raise.hpp"

#include <string>

#include "unit/unit_defs/suggest.hpp"

namespace modrin::py {

PyObject *raise(const ModrinError &error) {
    std::string note;
    if (error.kind == ErrorKind::unit_not_found) {
        try {
            note = explain_unit_not_found(error.first);
        } catch (...) {
            // the exception stands without its note
        }
    }
    return raise(error, note);
}

}  // namespace modrin::py
