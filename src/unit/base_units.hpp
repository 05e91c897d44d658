// Reduction to the eight base units, the compatibility rule and the search's target test.
#pragma once

#include <cstdint>

#include "unit/collection.hpp"

namespace modrin {

// A candidate of the simplification search: units with integer exponents.
using ExponentAssignment = UnitMap<std::int32_t>;

// All eight base units, zero exponents included, with the collection's signature; factor 1.
UnitCollection get_base_units(const UnitCollection &c);

// Exponents compare exactly: a tolerance would make compatibility non-transitive.
inline bool is_compatible(const UnitCollection &a, const UnitCollection &b) {
    return a.base_exponents == b.base_exponents;
}

// True when the candidate's units, raised to their exponents, have exactly the target's
// base signature. Allocates nothing: it runs for every candidate the search examines.
bool check_satisfies_base_units(const ExponentAssignment &candidate, const BaseExponents &target);

}  // namespace modrin
