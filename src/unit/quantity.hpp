// Quantity: a number in a unit collection, and its conversion into another collection.
#pragma once

#include <cmath>
#include <cstdint>

#include "error/modrin_error.hpp"
#include "unit/collection.hpp"

namespace modrin {

struct Quantity {
    double value = 0.0;
    UnitCollection collection;
};

// How a number moves from one collection into another: the steps of convert_number, with the
// factors and zero points read off once.
struct Conversion {
    enum class Kind : std::uint8_t { same, offsets, factors, refused };
    Kind kind = Kind::same;
    double from_factor = 1.0, from_offset = 0.0, to_offset = 0.0, to_factor = 1.0;
    // The two collections, for the rare number whose scale leaves the double range on the way;
    // whoever keeps the conversion keeps them alive (null: the plain formula only).
    const UnitCollection *from = nullptr, *to = nullptr;

    // Refused conversions are the caller's to handle; they leave the number as it is.
    double apply(double v) const {
        if (kind == Kind::same || kind == Kind::refused) return v;
        // To base units, remove one zero point, add the other.
        if (from_offset != 0.0 || to_offset != 0.0)
            return ((from_factor * v) - from_offset + to_offset) / to_factor;
        return by_factors(v);
    }

    // The ratio of the factors alone, zero points aside (as sums use it).
    double by_factors(double v) const {
        const double r = (from_factor * v) / to_factor;
        if (!std::isnormal(from_factor * v) || !std::isnormal(r) || !std::isnormal(from_factor) ||
            !std::isnormal(to_factor)) [[unlikely]]
            return rescued(v, r);
        return r;
    }

private:
    // When a factor, the factor times the number, or the result is zero, subnormal or infinite
    // although the number is ordinary: formed unit by unit with the binary scale kept apart.
    double rescued(double v, double result) const;
};

Conversion conversion_between(const UnitCollection &from, const UnitCollection &to);

// The same amount in `target`, which the result carries exactly. Offsets apply only between
// two single-entry collections whose exponents are both 1. Into the same units and exponents
// the number is returned unchanged, so a round trip through base units never drifts a value
// that needs no change.
Result<Quantity> as_unit_internal(const Quantity &q, const UnitCollection &target);
// Only the converted number, for callers that need no collection.
Result<double> convert_number(double value, const UnitCollection &from,
                              const UnitCollection &target);

// The same, taking the target's storage for the result.
Result<Quantity> as_unit_internal(const Quantity &q, UnitCollection &&target);

// q converted into units derived from its own (a simplification of them), which share its
// signature. Only NaN base exponents can make that conversion refuse, and then q is kept as
// it is, so every quantity an operation returned can still be shown.
Quantity as_derived_units(Quantity q, UnitCollection &&target);

// q in the base units of its signature.
Quantity in_base_units(Quantity q);

// std::pow(base, exponent) to the bit; a square that provably equals it skips the call.
double power_of(double base, double exponent);

// Simple simplification of the units, with the number converted into them: the last step of
// every arithmetic result.
Quantity normalise(Quantity raw);

// Replaces q by its simple simplification (or keeps it, as as_derived_units does).
void ss_inpl_internal(Quantity &q);

}  // namespace modrin
