// Quantity: a number in a unit collection, and its conversion into another collection.
#pragma once

#include "error/modrin_error.hpp"
#include "unit/collection.hpp"

namespace modrin {

struct Quantity {
    double value = 0.0;
    UnitCollection collection;
};

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

// Simple simplification of the units, with the number converted into them: the last step of
// every arithmetic result.
Quantity normalise(Quantity raw);

// Replaces q by its simple simplification (or keeps it, as as_derived_units does).
void ss_inpl_internal(Quantity &q);

}  // namespace modrin
