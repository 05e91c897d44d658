#include "unit/collection.hpp"

#include <cmath>

namespace modrin {

UnitCollection coerce_unit_to_collection(SingleUnit unit) {
    UnitCollection c;
    c.base_exponents = unit.dimensions();
    c.factor = unit.factor();
    c.units.append_new(std::move(unit), 1.0);
    return c;
}

UnitCollection from_single_unit_hashmap(UnitExponents units) {
    UnitCollection c;
    for (const auto &[unit, e] : units) {
        c.factor *= std::pow(unit.factor(), e);
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
            c.base_exponents[i] += unit.dimensions()[i] * e;
    }
    c.units = std::move(units);
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
    a.factor *= b.factor;
    return a;
}

UnitCollection quotient(UnitCollection a, const UnitCollection &b) {
    merge(a.units, b.units, -1.0);
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        a.base_exponents[i] = a.base_exponents[i] - b.base_exponents[i] + 0.0;
    a.factor /= b.factor;
    return a;
}

UnitCollection pow(const UnitCollection &c, double n) {
    UnitCollection r = c;
    for (auto &entry : r.units) entry.exponent *= n;
    for (double &e : r.base_exponents) e *= n;
    r.factor = std::pow(c.factor, n);
    return r;
}

}  // namespace modrin
