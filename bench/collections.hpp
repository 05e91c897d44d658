// Collections the benchmarks share.
#pragma once

#include <initializer_list>
#include <utility>

#include "unit/collection.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace modrin::bench {

inline UnitCollection build(std::initializer_list<std::pair<const char *, double>> entries) {
    UnitCollection c;
    for (const auto &[u, e] : entries)
        c = product(std::move(c), pow(coerce_unit_to_collection(*search_for_unit_name(u)), e));
    return c;
}

// Twelve units that combine in many ways (energies, forces, lengths, powers, times) with
// exponents up to 9 in mixed signs.
inline UnitCollection adversarial() {
    return build({{"J", 9}, {"N", -8}, {"W", 7}, {"Wh", -6}, {"m", -9}, {"s", 8}, {"kg", 5},
                  {"Pa", 9}, {"L", -7}, {"Hz", -4}, {"eV", 6}, {"lbf", -9}});
}

}  // namespace modrin::bench
