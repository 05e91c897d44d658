#include "unit/rounding.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace modrin {

double pow10_int(std::int64_t k, Powers powers) {
    double r = 1.0;
    // The magnitude as unsigned avoids the overflow of negating the most negative value.
    std::uint64_t bits = k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
    if (powers == Powers::repeated) {
        // Past 10^309 the product stays infinite, so the remaining steps change nothing.
        for (; bits != 0 && !std::isinf(r); --bits) r *= 10.0;
    } else {
        for (double a = 10.0; bits != 0; bits >>= 1) {
            if (bits & 1) r *= a;
            a *= a;
        }
    }
    return k < 0 ? 1.0 / r : r;
}

double round_to_places(double v, std::int64_t n, Powers powers) {
    if (!std::isfinite(v) || v == 0.0) return v;
    const double f = pow10_int(n, powers);
    if (f == 0.0) return std::copysign(0.0, v);  // coarser than any double: rounds to zero
    const double scaled = v * f;
    if (!std::isfinite(scaled)) return v;  // finer than v's own digits: nothing to round
    return std::round(scaled) / f;
}

double round_sig_figs(double v, std::int64_t n, Powers powers) {
    if (!std::isfinite(v) || v == 0.0) return v;
    // |v| is finite and non-zero, so m lies within about -324..308.
    const auto m = static_cast<std::int64_t>(std::floor(std::log10(std::fabs(v))));
    // Every count beyond 2^32 either way rounds as that bound does (to v itself or to zero);
    // the clamp keeps n - 1 - m from overflowing at the ends of the 64-bit range.
    constexpr std::int64_t BOUND = std::int64_t{1} << 32;
    return round_to_places(v, std::clamp(n, -BOUND, BOUND) - 1 - m, powers);
}

}  // namespace modrin
