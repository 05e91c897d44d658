#include "unit/simplify.hpp"

#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "unit/base_units.hpp"
#include "unit/mapping_search.hpp"

namespace modrin {

namespace {

bool same_dimension(const BaseExponents &a, const BaseExponents &b) { return a == b; }

bool opposite_dimension(const BaseExponents &a, const BaseExponents &b) {
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        if (!(a[i] == -b[i])) return false;
    return true;
}

struct Dimension {
    const BaseExponents *d;
    std::uint64_t key, negated_key;
};

// Cancels one pair if it can; true when it did. Same dimension takes precedence over
// opposite (dimensionless units are both), merges only across signs; opposite dimension
// merges only equal signs. Testing the signs first spares the vector comparisons of the
// common pair that cannot merge. A merge always leaves one exponent at exactly zero, which
// bounds the rescans; pairs with NaN or opposite infinities cannot, and stay.
bool merge_pair(double &a, double &b, const Dimension &x, const Dimension &y) {
    const bool neg_a = std::signbit(a);
    double na, nb;
    if (neg_a != std::signbit(b)) {
        if (x.key != y.key || !same_dimension(*x.d, *y.d)) return false;
        const double m = std::fmin(std::fabs(a), std::fabs(b));
        na = neg_a ? a + m : a - m;
        nb = neg_a ? b - m : b + m;
    } else {
        if (x.key != y.negated_key || !opposite_dimension(*x.d, *y.d) ||
            same_dimension(*x.d, *y.d))
            return false;
        const double m = std::fmin(a, b);
        na = a - m;
        nb = b - m;
    }
    if (na != 0.0 && nb != 0.0) return false;
    a = na;
    b = nb;
    return true;
}

std::int32_t to_int32(double e) {
    // Whole values only reach here; NaN becomes 0 and the rest saturates.
    if (std::isnan(e)) return 0;
    if (e <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    if (e >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    return static_cast<std::int32_t>(e);
}

UnitCollection from_assignment(const ExponentAssignment &a) {
    UnitExponents map;
    map.reserve(a.size());
    for (const auto &[unit, n] : a) map.append_new(unit, static_cast<double>(n));
    return from_single_unit_hashmap(std::move(map));
}

}  // namespace

UnitCollection simple_simplify(const UnitCollection &c) {
    const std::size_t n = c.units.size();
    // The working exponents sit beside the input's entries, by index: the keys are distinct,
    // so index i of the working map is always the input's unit i.
    SmallVector<double, 8> w;
    SmallVector<bool, 8> alive;
    SmallVector<Dimension, 8> dims;
    for (const auto &entry : c.units) {
        w.push_back(entry.exponent);
        alive.push_back(true);
        const UnitDef &def = entry.unit.def();
        dims.push_back({&def.dimensions, def.dim_key, def.negated_dim_key});
    }
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < n && !merged; ++i) {
            if (!alive[i]) continue;
            for (std::size_t j = 0; j < n && !merged; ++j) {
                if (j == i || !alive[j]) continue;
                if (!merge_pair(w[i], w[j], dims[i], dims[j]))
                    continue;
                alive[i] = w[i] != 0.0;
                alive[j] = w[j] != 0.0;
                merged = true;  // rescan from the first unit
            }
        }
    }
    UnitExponents units;
    units.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (alive[i]) units.append_new(c.units[i].unit, w[i]);
    UnitCollection result = from_single_unit_hashmap(std::move(units));
    // Residue of fractional exponents can leave a signature that differs from the input's in
    // the last bits; the input is then the correct, merely unsimplified, answer.
    if (result.base_exponents != c.base_exponents) return c;
    return result;
}

UnitCollection simplify(const UnitCollection &c) {
    return detail::simplify_with(c, simplify_mapping_algorithm);
}

UnitCollection detail::simplify_with(const UnitCollection &c, MappingSearch search) {
    UnitCollection s = simple_simplify(c);
    const std::size_t n = s.units.size();
    if (n == 1) return s;
    for (const auto &[unit, e] : s.units)
        if (!(e == std::round(e))) return s;  // only whole exponents are searched

    // A unit is an anchor when it alone carries some dimension of the result.
    SmallVector<bool, 8> anchor;
    for (std::size_t k = 0; k < n; ++k) anchor.push_back(false);
    std::size_t anchors = 0;
    for (std::size_t slot = 0; slot < BASE_DIMENSIONS; ++slot) {
        if (s.base_exponents[slot] == 0.0) continue;
        std::size_t carriers = 0, carrier = 0;
        for (std::size_t k = 0; k < n && carriers < 2; ++k) {
            if (s.units[k].unit.dimensions()[slot] != 0.0) {
                ++carriers;
                carrier = k;
            }
        }
        // No carrier means the signature disagrees with the units, which the simple step
        // rules out by recomputing it; leaving the collection as it is stays correct.
        if (carriers == 0) return s;
        if (carriers == 1 && !anchor[carrier]) {
            anchor[carrier] = true;
            ++anchors;
        }
    }
    if (anchors == n) return s;

    ExponentAssignment start, full;
    start.reserve(n);
    full.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::int32_t e = to_int32(s.units[k].exponent);
        start.append_new(s.units[k].unit, anchor[k] ? e : 0);
        full.append_new(s.units[k].unit, e);
    }
    if (check_satisfies_base_units(start, s.base_exponents)) return from_assignment(start);
    std::optional<ExponentAssignment> found = search(full, start, s.base_exponents);
    if (!found) return s;
    return from_assignment(*found);
}

}  // namespace modrin
