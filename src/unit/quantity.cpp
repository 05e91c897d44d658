#include "unit/quantity.hpp"

#include "unit/base_units.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"

namespace modrin {

namespace {

Result<double> converted_value(const Quantity &q, const UnitCollection &target) {
    const UnitCollection &from = q.collection;
    if (!is_compatible(from, target))
        return std::unexpected(incompatible_units(as_string(from), as_string(target)));
    double value;
    if (from.units == target.units) {
        value = q.value;
    } else if (from.units.size() == 1 && target.units.size() == 1) {
        // Evaluated in this order: to base units, remove one zero point, add the other.
        value = ((from.factor * q.value) - from.units[0].unit.offset() +
                 target.units[0].unit.offset()) /
                target.factor;
    } else {
        value = (from.factor * q.value) / target.factor;
    }
    return value;
}

}  // namespace

Result<Quantity> as_unit_internal(const Quantity &q, const UnitCollection &target) {
    Result<double> value = converted_value(q, target);
    if (!value) return std::unexpected(std::move(value.error()));
    return Quantity{*value, target};
}

Result<Quantity> as_unit_internal(const Quantity &q, UnitCollection &&target) {
    Result<double> value = converted_value(q, target);
    if (!value) return std::unexpected(std::move(value.error()));
    return Quantity{*value, std::move(target)};
}

Quantity normalise(Quantity raw) {
    UnitCollection s = simple_simplify(raw.collection);
    // The simplified units keep the signature, so the conversion cannot fail.
    Result<double> value = converted_value(raw, s);
    if (!value) return raw;
    return Quantity{*value, std::move(s)};
}

Result<void> ss_inpl_internal(Quantity &q) {
    UnitCollection simplified = simple_simplify(q.collection);
    Result<Quantity> r = as_unit_internal(q, simplified);
    if (!r) return std::unexpected(std::move(r.error()));
    q = std::move(*r);
    return {};
}

}  // namespace modrin
