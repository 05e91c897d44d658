#include "unit/quantity.hpp"

#include "unit/base_units.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"

namespace modrin {

Result<double> convert_number(double value, const UnitCollection &from,
                              const UnitCollection &target) {
    if (!is_compatible(from, target))
        return std::unexpected(incompatible_units(as_string(from), as_string(target)));
    if (from.units == target.units) return value;
    // A zero point belongs to a temperature, not to a per-degree or squared quantity.
    if (from.units.size() == 1 && target.units.size() == 1 && from.units[0].exponent == 1.0 &&
        target.units[0].exponent == 1.0) {
        // Evaluated in this order: to base units, remove one zero point, add the other.
        return ((from.factor * value) - from.units[0].unit.offset() +
                target.units[0].unit.offset()) /
               target.factor;
    }
    return (from.factor * value) / target.factor;
}

Result<Quantity> as_unit_internal(const Quantity &q, const UnitCollection &target) {
    Result<double> value = convert_number(q.value, q.collection, target);
    if (!value) return std::unexpected(std::move(value.error()));
    return Quantity{*value, target};
}

Result<Quantity> as_unit_internal(const Quantity &q, UnitCollection &&target) {
    Result<double> value = convert_number(q.value, q.collection, target);
    if (!value) return std::unexpected(std::move(value.error()));
    return Quantity{*value, std::move(target)};
}

Quantity as_derived_units(Quantity q, UnitCollection &&target) {
    Result<double> value = convert_number(q.value, q.collection, target);
    if (!value) return q;
    return Quantity{*value, std::move(target)};
}

Quantity in_base_units(Quantity q) {
    UnitCollection base = get_base_units(q.collection);
    Result<double> value = convert_number(q.value, q.collection, base);
    // Only NaN base exponents refuse here; the factors still say how the number scales.
    return Quantity{value ? *value : (q.collection.factor * q.value) / base.factor,
                    std::move(base)};
}

Quantity normalise(Quantity raw) {
    UnitCollection s = simple_simplify(raw.collection);
    return as_derived_units(std::move(raw), std::move(s));
}

void ss_inpl_internal(Quantity &q) {
    UnitCollection simplified = simple_simplify(q.collection);
    q = as_derived_units(std::move(q), std::move(simplified));
}

}  // namespace modrin
