#include "error/modrin_error.hpp"

namespace modrin {

std::string message(const ModrinError &error) {
    const std::string &s = error.first;
    switch (error.kind) {
        case ErrorKind::unit_not_found:
            return "Unit " + s + " not found";
        case ErrorKind::log_unit_not_found:
            return "Logarithmic ratio unit " + s + " not found";
        case ErrorKind::constant_not_found:
            return "Constant " + s + " not found";
        case ErrorKind::incompatible_units:
            return s + " and " + error.second + " are not compatible";
        case ErrorKind::not_coercible_to_unit:
            return s + " cannot be coerced into a unit";
        case ErrorKind::not_coercible_to_number:
            return s + " cannot be coerced into a number";
    }
    return s;  // unreachable: every kind is handled above
}

}  // namespace modrin
