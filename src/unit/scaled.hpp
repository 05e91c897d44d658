// Products of unit powers with the binary scale kept apart, for the rare collection or number
// whose scale leaves the double range on the way to an ordinary answer.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace modrin {

// m * 2^k with m in [0.5, 1): no double range bounds it on the way. The mantissa is carried
// in the widest float at hand, so the few steps it takes round once more only at the end.
struct Scaled {
    long double m = 0.5L;
    std::int64_t k = 1;

    static Scaled of(double v) {
        Scaled s{static_cast<long double>(v), 0};
        s.renormalise();
        return s;
    }

    void renormalise() {
        int e = 0;
        m = std::frexp(m, &e);  // the long double overload
        k += e;
    }

    // Multiplies f^e in; false for what this form cannot hold (a factor that is not a finite
    // positive number, an exponent too large for the mantissa's power to stay normal).
    bool multiply_power(double f, double e) {
        if (e == 0.0) return true;
        if (!(std::isfinite(f) && f > 0.0 && std::fabs(e) <= 1000.0)) return false;
        int fk = 0;
        const long double fm = std::frexp(static_cast<long double>(f), &fk);
        // fm^e lies within 2^-1000 .. 2^1000; exp2(0) is exactly 1 for whole powers.
        const long double t = static_cast<long double>(fk) * e;
        const long double whole = std::floor(t);
        m *= std::pow(fm, static_cast<long double>(e)) * std::exp2(t - whole);
        k += static_cast<std::int64_t>(whole);
        renormalise();
        return true;
    }

    // The double it stands for: rounded into the subnormals or to infinity when it lies
    // beyond the normal range.
    double value() const {
        const double sign = std::signbit(m) ? -1.0 : 1.0;
        if (m == 0.0L || !std::isfinite(m)) return static_cast<double>(m);
        if (k < -1100) return sign * 0.0;
        if (k > 1100) return sign * HUGE_VAL;
        return static_cast<double>(std::ldexp(m, static_cast<int>(k)));
    }
};

}  // namespace modrin
