// ModrinError: the failures of the core, carried as values until the Python boundary.
#pragma once

#include <expected>
#include <string>

namespace modrin {

enum class ErrorKind {
    unit_not_found,
    log_unit_not_found,
    constant_not_found,
    incompatible_units,
    not_coercible_to_unit,
    not_coercible_to_number,
};

struct ModrinError {
    ErrorKind kind;
    std::string first;
    std::string second;  // only incompatible_units uses it

    friend bool operator==(const ModrinError &, const ModrinError &) = default;
};

template <class T>
using Result = std::expected<T, ModrinError>;

inline ModrinError unit_not_found(std::string text) {
    return {ErrorKind::unit_not_found, std::move(text), {}};
}
inline ModrinError log_unit_not_found(std::string name) {
    return {ErrorKind::log_unit_not_found, std::move(name), {}};
}
inline ModrinError constant_not_found(std::string name) {
    return {ErrorKind::constant_not_found, std::move(name), {}};
}
inline ModrinError incompatible_units(std::string from, std::string to) {
    return {ErrorKind::incompatible_units, std::move(from), std::move(to)};
}
inline ModrinError not_coercible_to_unit(std::string text) {
    return {ErrorKind::not_coercible_to_unit, std::move(text), {}};
}
inline ModrinError not_coercible_to_number(std::string text) {
    return {ErrorKind::not_coercible_to_number, std::move(text), {}};
}

// The user-facing message; the strings are inserted verbatim, without quotes.
std::string message(const ModrinError &error);

}  // namespace modrin
