#include "unit/quantity.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "unit/base_units.hpp"
#include "unit/render.hpp"
#include "unit/scaled.hpp"
#include "unit/simplify.hpp"

namespace modrin {

namespace {

// value * from.factor / target.factor formed unit by unit, a unit on both sides once with the
// difference of its exponents, and the binary scale kept apart until the end. Nothing when the
// units do not allow the form.
std::optional<double> convert_scale_apart(double value, const UnitCollection &from,
                                          const UnitCollection &target) {
    Scaled s = Scaled::of(value);
    for (const auto &[unit, e] : from.units) {
        const double net = e - target.units.get(unit).value_or(0.0);
        if (!s.multiply_power(unit.factor(), net)) return std::nullopt;
    }
    for (const auto &[unit, e] : target.units)
        if (!from.units.contains(unit) && !s.multiply_power(unit.factor(), -e))
            return std::nullopt;
    return s.value();
}

// A factor, the factor times the number, or the result is zero, subnormal or infinite
// although the number is an ordinary one: the scale may have left the double range on the way.
bool left_the_range(double value, double from_factor, double target_factor, double result) {
    return std::isfinite(value) && value != 0.0 &&
           (!std::isnormal(from_factor) || !std::isnormal(target_factor) ||
            !std::isnormal(from_factor * value) || !std::isnormal(result));
}

}  // namespace

double power_of(double base, double exponent) {
    if (exponent == 2.0) {
        // pow errs by under 0.54 ulp (glibc's bound). When the exact square lies within an
        // eighth of an ulp of the rounded product, and that product is not a power of two (no
        // nearer neighbour below), every other double is over 0.87 ulp away, so pow returns
        // the product. The lower bound keeps fma's residual exact.
        const double p = base * base;
        if (p >= 0x1p-968 && p <= std::numeric_limits<double>::max() &&
            (std::bit_cast<std::uint64_t>(p) & ((std::uint64_t{1} << 52) - 1)) != 0 &&
            std::fabs(std::fma(base, base, -p)) <= p * 0x1p-56)
            return p;
    }
    return std::pow(base, exponent);
}


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

double Conversion::rescued(double v, double result) const {
    // Zero is zero in every compatible unit, however far the factors lie out of range.
    if (v == 0.0) return v;
    // Everywhere else the plain formula stands, bit for bit.
    if (from != nullptr && to != nullptr && left_the_range(v, from_factor, to_factor, result)) {
        // Rounded once, into the subnormals or to infinity when the answer lies out there.
        if (std::optional<double> exact = convert_scale_apart(v, *from, *to)) return *exact;
    }
    return result;
}

Result<double> convert_number(double value, const UnitCollection &from,
                              const UnitCollection &target) {
    Conversion c = conversion_between(from, target);
    c.from = &from;
    c.to = &target;
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
