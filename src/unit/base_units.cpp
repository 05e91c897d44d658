#include "unit/base_units.hpp"

namespace modrin {

UnitCollection get_base_units(const UnitCollection &c) {
    UnitCollection r;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        r.units.append_new(SingleUnit::from_static(BASE_UNITS[i]), c.base_exponents[i]);
    r.base_exponents = c.base_exponents;
    r.factor = 1.0;
    return r;
}

bool check_satisfies_base_units(const ExponentAssignment &candidate, const BaseExponents &target) {
    BaseExponents residual = target;
    for (const auto &[unit, n] : candidate) {
        const BaseExponents &d = unit.dimensions();
        if (n == 1) {
            for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) residual[i] -= d[i];
        } else if (n == -1) {
            for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) residual[i] += d[i];
        } else {
            const double f = static_cast<double>(n);
            for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) residual[i] -= d[i] * f;
        }
    }
    for (double r : residual)
        if (r != 0.0) return false;
    return true;
}

}  // namespace modrin
