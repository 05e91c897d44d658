#include "unit/collection.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "unit/scaled.hpp"

namespace modrin {

UnitCollection coerce_unit_to_collection(SingleUnit unit) {
    UnitCollection c;
    c.base_exponents = unit.dimensions();
    c.factor = unit.factor();
    c.units.append_new(std::move(unit), 1.0);
    return c;
}

// pow(f, e) for unit factors, which recur: every operation recomputes the factor of its
// result from the same few units. f^1 and 1^e are exact in every libm and skipped; other
// answers come from a small per-thread memo of pow's own results, so no bit changes.
double unit_power(double f, double e) {
    if (e == 1.0 || f == 1.0) return e == 1.0 ? f : 1.0;
    struct Slot {
        std::uint64_t f_bits, e_bits;
        double result;
    };
    static thread_local Slot memo[64] = {};
    const auto fb = std::bit_cast<std::uint64_t>(f), eb = std::bit_cast<std::uint64_t>(e);
    Slot &slot = memo[((fb * 0x9e3779b97f4a7c15ULL) ^ (eb * 0xc2b2ae3d27d4eb4fULL)) >> 58];
    // An all-zero slot is empty, never a hit.
    if (slot.f_bits == fb && slot.e_bits == eb && (fb | eb) != 0) return slot.result;
    const double r = std::pow(f, e);
    slot = {fb, eb, r};
    return r;
}

namespace {

bool normal(double f) { return std::isnormal(f); }

// The entries' factor, their powers multiplied in order, and their signature; `steps_normal`
// tells whether every power and running product stayed a normal double.
double factor_and_signature(const UnitExponents &units, BaseExponents &sum, bool &steps_normal) {
    // Locals rather than the outputs, so the sums stay in registers.
    BaseExponents s{};
    double factor = 1.0;
    bool ok = true;
    for (const auto &[unit, e] : units) {
        const double p = unit_power(unit.factor(), e);
        factor *= p;
        ok = ok && normal(p) && normal(factor);
        const BaseExponents &d = unit.dimensions();
        // A dimension the unit lacks stays absent at any exponent, infinite or NaN ones too.
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
            if (d[i] != 0.0) s[i] += d[i] * e;
    }
    sum = s;
    steps_normal = ok;
    return factor;
}

// The factor of `units` when a power or a running product left the normal range on the way
// to `plain`: the plain product where each step stays normal, else formed with the scale kept
// apart. `plain` stands where that form cannot hold the units, or the answer lies beyond the
// normal range too.
double factor_beyond_range(const UnitExponents &units, double plain) {
    BaseExponents unused;
    bool steps_normal = true;
    const double f = factor_and_signature(units, unused, steps_normal);
    if (steps_normal) return f;
    Scaled s;
    for (const auto &[unit, e] : units)
        if (!s.multiply_power(unit.factor(), e)) return plain;
    const double exact = s.value();
    return normal(exact) || std::isnan(plain) ? exact : plain;
}

}  // namespace

UnitCollection from_single_unit_hashmap(UnitExponents units) {
    BaseExponents sum;
    bool steps_normal = true;
    double factor = factor_and_signature(units, sum, steps_normal);
    if (!steps_normal) [[unlikely]]
        factor = factor_beyond_range(units, factor);
    UnitCollection c;
    c.units = std::move(units);
    c.base_exponents = sum;
    c.factor = factor;
    return c;
}

namespace {

// Folds b's entries into a's map with the given sign.
void merge(UnitExponents &into, const UnitExponents &from, double sign) {
    for (const auto &[unit, e] : from) {
        if (auto i = into.index_of(unit)) {
            double &held = into.at(*i);
            held = sign > 0 ? held + e : held - e;
            if (held == 0.0) into.erase_at(*i);
        } else if (e != 0.0) {
            // Inserting e (or -e) and removing it at once when it is zero come to the same.
            into.append_new(unit, sign > 0 ? e : -e);
        }
    }
}

}  // namespace

UnitCollection product(UnitCollection a, const UnitCollection &b) {
    merge(a.units, b.units, 1.0);
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        // Adding 0.0 turns a negative zero into a positive one.
        a.base_exponents[i] = a.base_exponents[i] + b.base_exponents[i] + 0.0;
    const double f = a.factor * b.factor;
    a.factor = normal(a.factor) && normal(b.factor) && normal(f)
                   ? f
                   : factor_beyond_range(a.units, f);
    return a;
}

UnitCollection quotient(UnitCollection a, const UnitCollection &b) {
    merge(a.units, b.units, -1.0);
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        a.base_exponents[i] = a.base_exponents[i] - b.base_exponents[i] + 0.0;
    const double f = a.factor / b.factor;
    a.factor = normal(a.factor) && normal(b.factor) && normal(f)
                   ? f
                   : factor_beyond_range(a.units, f);
    return a;
}

UnitCollection pow(const UnitCollection &c, double n) {
    UnitCollection r = c;
    for (auto &entry : r.units) entry.exponent *= n;
    for (double &e : r.base_exponents)
        if (e != 0.0) e *= n;  // as the entries give it: an absent dimension stays absent
    const double f = std::pow(c.factor, n);
    r.factor = normal(c.factor) && normal(f) ? f : factor_beyond_range(r.units, f);
    return r;
}

}  // namespace modrin
