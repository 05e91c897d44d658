// The search for the smallest change of whole exponents that keeps a base signature.
#pragma once

#include <optional>

#include "unit/base_units.hpp"

namespace modrin {

// Each unit's exponent may move from its start value towards its full value (never past it).
// Returns the assignment that satisfies `target` with the fewest steps in all, ties going to
// the one that moves earlier units (in the assignment's order) further; so a solution one step
// from the start is the first such unit's. Where the search would exceed its work bound, the
// answer of the problem divided by the common factor of its exponents (valid, perhaps not the
// fewest steps), else nothing; nothing too when no assignment satisfies the target. `start`
// and `full` hold the same units in one order.
std::optional<ExponentAssignment> simplify_mapping_algorithm(const ExponentAssignment &full,
                                                             const ExponentAssignment &start,
                                                             const BaseExponents &target);

// The strategies behind it, exposed so tests can hold them to the same answers. The reference
// is the plain search that the fast one must agree with wherever the reference finishes.
namespace detail {
std::optional<ExponentAssignment> search_reference(const ExponentAssignment &full,
                                                   const ExponentAssignment &start,
                                                   const BaseExponents &target);
std::optional<ExponentAssignment> search_by_enumeration(const ExponentAssignment &full,
                                                        const ExponentAssignment &start,
                                                        const BaseExponents &target);
std::optional<ExponentAssignment> search_by_layers(const ExponentAssignment &full,
                                                   const ExponentAssignment &start,
                                                   const BaseExponents &target);
}  // namespace detail

}  // namespace modrin
