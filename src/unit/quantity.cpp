#include "unit/quantity.hpp"

#include "unit/base_units.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"

namespace modrin {

Conversion conversion_between(const UnitCollection &from, const UnitCollection &to) {
    using Kind = Conversion::Kind;
    if (!is_compatible(from, to)) return {Kind::refused};
    if (from.units == to.units) return {Kind::same};
    // A zero point belongs to a temperature, not to a per-degree or squared quantity.
    if (from.units.size() == 1 && to.units.size() == 1 && from.units[0].exponent == 1.0 &&
        to.units[0].exponent == 1.0)
        return {Kind::offsets, from.factor, from.units[0].unit.offset(), to.units[0].unit.offset(),
                to.factor};
    return {Kind::factors, from.factor, 0.0, 0.0, to.factor};
}

Result<double> convert_number(double value, const UnitCollection &from,
                              const UnitCollection &target) {
    const Conversion c = conversion_between(from, target);
    if (c.kind == Conversion::Kind::refused)
        return std::unexpected(incompatible_units(as_string(from), as_string(target)));
    return c.apply(value);
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
