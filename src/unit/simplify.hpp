// Unit simplification: cancelling units of one dimension (simple) and dropping units that only
// cancel each other out (full). Both return a collection; callers convert the number into it.
#pragma once

#include <optional>

#include "unit/base_units.hpp"
#include "unit/collection.hpp"

namespace modrin {

// Cancels units of the same dimension on opposite sides of the fraction bar and units of
// opposite dimension on the same side; never adds a unit. When floating-point residue of
// fractional exponents would change the base signature, the input is returned unchanged.
UnitCollection simple_simplify(const UnitCollection &c);

// Simple simplification, then the smallest change of whole exponents, each moving from 0
// towards its own value, that keeps the base signature; units that need not move are left at
// exponent 0 (shown nowhere). Never adds a unit; deterministic.
UnitCollection simplify(const UnitCollection &c);

namespace detail {
using MappingSearch = std::optional<ExponentAssignment> (*)(const ExponentAssignment &full,
                                                          const ExponentAssignment &start,
                                                          const BaseExponents &target);
// simplify() with another exponent search, so benchmarks can time the strategies whole.
UnitCollection simplify_with(const UnitCollection &c, MappingSearch search);
}  // namespace detail

}  // namespace modrin
