#include "unit/element_loops.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "unit/collection.hpp"
#include "unit/parse_cache.hpp"

namespace modrin {
namespace {

// Bits equal, or both NaN: the scalar algebra itself leaves open which of two NaN operands
// an operation passes on.
bool same_result(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

SharedUnits custom(const char *name, double factor, double offset, BaseExponents dims) {
    return SharedUnits(
        coerce_unit_to_collection(SingleUnit::make(name, name, factor, offset, dims)));
}

// Units by dimension, so that most draws are compatible: factors that overflow (Qm9.Qm3),
// are subnormal (shed6) or lie near the ends of the range, zero points, custom units.
struct Pool {
    std::vector<std::vector<SharedUnits>> families;
    std::mt19937_64 rng{20260214};

    Pool() {
        const std::vector<std::vector<const char *>> texts = {
            {"m", "km", "mm", "Qm", "qm", "ft", "mi"},
            {"°C", "°F", "K", "°R", "mK"},
            {"m9", "Qm9", "qm9", "Qm8.m", "qm8.km", "km9"},
            {"m6.m6", "shed6", "shed5.m2", "qm9.mm3", "Qm9.km3", "Qm9.Qm3"},
            {"m/km", "hr/s", "rad", "qm/Qm"},
            {"km/hr", "m/s", "ft/s", "Qm/qs"},
            {"J", "kJ", "N.m", "eV", "cal", "kg.m2/s2"},
            {"°C2", "K2", "1/°C", "1/K", "m.°C"},
        };
        for (const auto &family : texts) {
            families.emplace_back();
            for (const char *t : family) {
                families.back().push_back(from_unit_name_cached(t));
                EXPECT_TRUE(families.back().back()) << t;
            }
        }
        families[4].push_back(SharedUnits::unitless());
        constexpr BaseExponents length{0, 0, 0, 0, 0, 1, 0, 0}, kelvin{0, 0, 0, 1, 0, 0, 0, 0};
        families[0].push_back(custom("negative_metre", -2.5, 0.0, length));
        families[0].push_back(custom("vast_metre", 1e300, 0.0, length));
        families[1].push_back(custom("shifted_kelvin", 3.0, 10.0, kelvin));
    }

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(rng() % n); }
    const SharedUnits &any() {
        const auto &f = families[below(families.size())];
        return f[below(f.size())];
    }
    // Mostly of one dimension, sometimes any two.
    std::pair<SharedUnits, SharedUnits> pair() {
        if (below(4) == 0) return {any(), any()};
        const auto &f = families[below(families.size())];
        return {f[below(f.size())], f[below(f.size())]};
    }

    // Near an end of the double range once multiplied by a conversion's factor, or once
    // divided by its other factor too: where the scalar path's rescue decides.
    double edge(const Conversion &c) {
        auto binade = [](double f) { return std::isnormal(f) ? std::ilogb(f) : 0; };
        constexpr int ENDS[] = {-1074, -1022, 1023};
        const int e = ENDS[below(3)] - binade(c.from_factor) +
                      (below(2) == 0 ? binade(c.to_factor) : 0) + static_cast<int>(below(5)) - 2;
        const double m = 1.0 + std::ldexp(static_cast<double>(rng() >> 11), -53);
        return std::ldexp(below(2) == 0 ? m : -m, e);
    }

    double number(const std::vector<Conversion> &aims) {
        switch (below(7)) {
            case 6: return edge(aims[below(aims.size())]);
            case 0: return std::bit_cast<double>(rng());  // NaN, inf, subnormals, huge
            case 1: {
                constexpr double SPECIAL[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN,
                                              DBL_MIN, DBL_TRUE_MIN, DBL_MAX, 1.0};
                return SPECIAL[below(std::size(SPECIAL))];
            }
            case 2:
                return std::ldexp(1.0 + static_cast<double>(below(1000)),
                                  static_cast<int>(below(2100)) - 1080);
            case 3: return static_cast<double>(static_cast<int>(below(21)) - 10);
            default: return std::ldexp(static_cast<double>(rng() >> 11), -53 - int(below(20)));
        }
    }

    std::size_t length() {
        switch (below(10)) {
            case 0: return below(1500);
            case 1:
            case 2:
            case 3: return below(300);
            default: return below(20);
        }
    }
};

// One strided operand of n elements over its own storage, walked with `every` elements
// between neighbours (0 repeats one element, negative walks backwards).
template <class T>
struct Strided {
    std::vector<T> storage;
    long every = 1;
    std::size_t first = 0;

    Strided(std::size_t n, long e, T fill) : every(e) {
        const std::size_t span = n == 0 ? 1 : (n - 1) * static_cast<std::size_t>(std::labs(e)) + 1;
        storage.assign(span, fill);
        first = e < 0 ? span - 1 : 0;
    }
    T &at(std::size_t i) {
        return storage[first + static_cast<std::size_t>(static_cast<long>(i) * every)];
    }
    std::ptrdiff_t step() const { return every * static_cast<std::ptrdiff_t>(sizeof(T)); }
    Input in() const { return {reinterpret_cast<const char *>(storage.data() + first), step()}; }
    Output out() { return {reinterpret_cast<char *>(storage.data() + first), step()}; }
};

constexpr long INPUT_STEPS[] = {1, 1, 0, 2, -1, 3};
constexpr long OUTPUT_STEPS[] = {1, 1, 2, -1, 3};

// A draw of one loop: inputs filled with numbers, an output over storage with gaps.
struct Draw {
    Pool &pool;
    std::size_t n = pool.length();
    std::vector<Strided<double>> inputs;

    Draw(Pool &p, std::size_t count, const std::vector<Conversion> &aims) : pool(p) {
        for (std::size_t k = 0; k < count; ++k) {
            inputs.emplace_back(n, INPUT_STEPS[pool.below(std::size(INPUT_STEPS))], 0.0);
            for (double &v : inputs.back().storage) v = pool.number(aims);
        }
    }
    double value(std::size_t k, std::size_t i) { return inputs[k].at(i); }

    // Runs `loop(out)` and checks every element against `expected(i)`, and that the loop
    // wrote nothing between the output's elements.
    template <class T, class Loop, class Expected>
    void check(Loop &&loop, Expected &&expected, const char *what) {
        const T gap = static_cast<T>(7);
        Strided<T> out(n, OUTPUT_STEPS[pool.below(std::size(OUTPUT_STEPS))], gap);
        std::vector<T> want(n);
        for (std::size_t i = 0; i < n; ++i) want[i] = expected(i);
        // In place, as `a += b` runs: the output is the first input's memory.
        const bool in_place =
            std::is_same_v<T, double> && inputs[0].every != 0 && pool.below(6) == 0;
        if constexpr (std::is_same_v<T, double>) {
            if (in_place) {
                loop(inputs[0].out());
                for (std::size_t i = 0; i < n; ++i)
                    ASSERT_TRUE(same_result(inputs[0].at(i), want[i]))
                        << what << " in place, element " << i << " of " << n << ": "
                        << inputs[0].at(i) << " vs " << want[i];
                return;
            }
        }
        loop(out.out());
        std::vector<bool> written(out.storage.size());
        for (std::size_t i = 0; i < n; ++i) {
            written[&out.at(i) - out.storage.data()] = true;
            if constexpr (std::is_same_v<T, double>)
                ASSERT_TRUE(same_result(out.at(i), want[i]))
                    << what << ", element " << i << " of " << n << ": " << out.at(i) << " vs "
                    << want[i] << " (input " << value(0, i) << ")";
            else
                ASSERT_EQ(out.at(i), want[i]) << what << ", element " << i << " of " << n;
        }
        for (std::size_t j = 0; j < out.storage.size(); ++j)
            if (!written[j]) {
                ASSERT_EQ(out.storage[j], gap) << what << " wrote between elements";
            }
    }
};

std::string describe(const char *family, const SharedUnits &a, const SharedUnits &b) {
    return std::string(family) + " [" + plain_text(a) + "] [" + plain_text(b) + "]";
}

// A plan refuses where the scalar path refuses, with the same error; true when both proceed.
template <class Plan, class Scalar>
bool same_refusal(const Result<Plan> &plan, const Result<Scalar> &scalar) {
    EXPECT_EQ(plan.has_value(), scalar.has_value());
    if (!plan && !scalar) {
        EXPECT_EQ(plan.error(), scalar.error());
    }
    return plan.has_value() && scalar.has_value();
}

void convert_case(Pool &pool) {
    auto [from, to] = pool.pair();
    const std::string what = describe("convert", from, to);
    Result<ConversionPlan> plan = plan_conversion(from, to);
    if (!same_refusal(plan, convert(0.0, from, to))) return;
    Draw d(pool, 1, {plan->conversion});
    const auto sign = static_cast<Sign>(pool.below(3));
    const auto signed_as = [sign](double v) {
        return sign == Sign::negate ? -v : sign == Sign::absolute ? std::fabs(v) : v;
    };
    d.check<double>(
        [&](Output out) { convert_elements(*plan, d.n, d.inputs[0].in(), out, sign); },
        [&](std::size_t i) { return *convert(signed_as(d.value(0, i)), from, to); },
        what.c_str());
}

void compare_case(Pool &pool) {
    auto [xu, yu] = pool.pair();
    const auto op = static_cast<Comparison>(pool.below(6));
    const std::string what = describe("compare", xu, yu) + " op " + std::to_string(int(op));
    Result<ConversionPlan> plan = plan_conversion(yu, xu);
    if (!same_refusal(plan, convert(0.0, yu, xu))) return;
    Draw d(pool, 2, {plan->conversion});
    d.check<unsigned char>(
        [&](Output out) {
            compare_elements(*plan, op, d.n, d.inputs[0].in(), d.inputs[1].in(), out);
        },
        [&](std::size_t i) -> unsigned char {
            // The comparison of Modrin_richcompare, operands in its order.
            const double x = d.value(0, i), y = *convert(d.value(1, i), yu, xu);
            switch (op) {
                case Comparison::lt: return y > x;
                case Comparison::le: return y >= x;
                case Comparison::eq: return x == y;
                case Comparison::ne: return x != y;
                case Comparison::gt: return x > y;
                case Comparison::ge: return y <= x;
            }
            return 2;
        },
        what.c_str());
}

void operate_case(Pool &pool) {
    auto [su, ou] = pool.pair();
    const auto op = static_cast<Op>(pool.below(4));
    const bool reflected = pool.below(2) == 0;
    const std::string what = describe("operate", su, ou) + " op " + std::to_string(int(op)) +
                             (reflected ? " reflected" : "");
    Result<OperationPlan> plan = plan_operation(op, su, ou, reflected);
    Result<SharedQuantity> probe = apply(op, 1.0, su, 1.0, ou, reflected);
    if (!same_refusal(plan, probe)) return;
    Draw d(pool, 2, {plan->pre, plan->post});
    d.check<double>(
        [&](Output out) {
            operate_elements(*plan, d.n, d.inputs[0].in(), d.inputs[1].in(), out);
        },
        [&](std::size_t i) {
            return apply(op, d.value(0, i), su, d.value(1, i), ou, reflected)->value;
        },
        what.c_str());
}

void power_case(Pool &pool) {
    const SharedUnits base = pool.any();
    constexpr double EXPONENTS[] = {2.0, 3.0, 0.5, -1.0, 0.0, 1.0 / 3.0, -2.5, 400.0, NAN, 1e-3};
    const double e = EXPONENTS[pool.below(std::size(EXPONENTS))];
    const SharedUnits eu = pool.below(3) == 0 ? pool.any() : SharedUnits::unitless();
    const std::string what = describe("power", base, eu) + " ** " + std::to_string(e);
    Result<PowerPlan> plan = plan_power(base, e, eu);
    Result<SharedQuantity> probe = apply(Op::pow, 1.0, base, e, eu, false);
    if (!same_refusal(plan, probe)) return;
    Draw d(pool, 1, {plan->post});
    d.check<double>([&](Output out) { power_elements(*plan, d.n, d.inputs[0].in(), out); },
                    [&](std::size_t i) {
                        return apply(Op::pow, d.value(0, i), base, e, eu, false)->value;
                    },
                    what.c_str());
    if (e == 0.5 && eu.record() == SharedUnits::unitless().record()) {
        // The units of the power, with the correctly rounded root in place of pow's.
        const Conversion post = power_units(base, 0.5).form.conversion;
        d.check<double>([&](Output out) { root_elements(*plan, d.n, d.inputs[0].in(), out); },
                        [&](std::size_t i) { return post.apply(std::sqrt(d.value(0, i))); },
                        (what + " root").c_str());
    }
}

void plain_power_case(Pool &pool) {
    Draw d(pool, 2, {Conversion{}});
    d.check<double>(
        [&](Output out) { plain_power_elements(d.n, d.inputs[0].in(), d.inputs[1].in(), out); },
        [&](std::size_t i) { return power_of(d.value(0, i), d.value(1, i)); }, "plain power");
}

void elementary_case(Pool &pool) {
    const auto f = static_cast<Elementary>(pool.below(3));
    Draw d(pool, 1, {Conversion{}});
    d.check<double>([&](Output out) { elementary_elements(f, d.n, d.inputs[0].in(), out); },
                    [&](std::size_t i) {
                        const double v = d.value(0, i);
                        return f == Elementary::exp ? std::exp(v)
                               : f == Elementary::log ? std::log(v)
                                                      : std::log10(v);
                    },
                    "elementary");
}

// Run once in each compiled form of the loops (the same where the processor lacks AVX2).
class ElementLoops : public testing::TestWithParam<LoopForm> {
protected:
    void SetUp() override { use_loop_form(GetParam()); }
    void TearDown() override { use_loop_form(LoopForm::avx512); }
};

TEST_P(ElementLoops, EveryElementIsTheScalarAlgebrasAnswer) {
    Pool pool;
    void (*const cases[])(Pool &) = {convert_case, compare_case, operate_case, power_case,
                                     plain_power_case, elementary_case};
    for (int trial = 0; trial < 6000 && !testing::Test::HasFailure(); ++trial)
        cases[trial % std::size(cases)](pool);
}

// Significands X of numbers whose quotient by t lies near a midpoint between two doubles
// (X 2^k - M T = c for t's significand T, an odd M and small c), where a division carried out
// by a reciprocal rounds otherwise if it ever does. Solved by the extended Euclidean algorithm.
std::vector<std::uint64_t> near_midpoints(double t) {
    __extension__ using Signed = __int128;
    int et = 0;
    const auto T = static_cast<std::int64_t>(std::ldexp(std::frexp(t, &et), 53));
    std::vector<std::uint64_t> found;
    for (int k : {53, 54}) {
        const Signed a = (Signed{1} << k) % T;
        Signed r0 = T, r1 = a, s0 = 0, s1 = 1;  // s1 a = r1 (mod T)
        while (r1 != 0) {
            const Signed q = r0 / r1;
            r0 -= q * r1;
            s0 -= q * s1;
            std::swap(r0, r1);
            std::swap(s0, s1);
        }
        const Signed g = r0, inverse = s0, modulus = T / g;  // inverse a/g modulo T/g
        for (int c = -6; c <= 6; ++c) {
            if (c == 0 || c % g != 0) continue;
            Signed x = (c / g) * inverse % modulus;
            if (x < 0) x += modulus;
            constexpr Signed lowest = Signed{1} << 52;
            x += (x < lowest ? (lowest - x + modulus - 1) / modulus : 0) * modulus;
            for (int j = 0; j < 20 && x < 2 * lowest; ++j, x += modulus)
                found.push_back(static_cast<std::uint64_t>(x));
        }
    }
    return found;
}

// Long conversions may divide through a reciprocal of the factor; near the midpoints where
// that could round otherwise, and for factors where it does, every element keeps the scalar
// path's bits.
TEST_P(ElementLoops, LongConversionsDivideAsTheScalarPath) {
    constexpr BaseExponents length{0, 0, 0, 0, 0, 1, 0, 0};
    std::mt19937_64 rng(20261209);
    const SharedUnits metre = from_unit_name_cached("m");
    std::size_t hard = 0;
    for (int trial = 0; trial < 1000 && !testing::Test::HasFailure(); ++trial) {
        const double t = std::ldexp(1.0 + std::ldexp(static_cast<double>(rng() >> 11), -53),
                                    static_cast<int>(rng() % 120) - 60);
        const SharedUnits to = custom("divisor_metre", t, 0.0, length);
        // Now and then longer than the stretches the loops run through whole.
        std::vector<double> in(trial % 100 == 0 ? 70000 : 4096 + rng() % 512);
        for (double &v : in)
            v = std::ldexp(1.0 + std::ldexp(static_cast<double>(rng() >> 11), -53),
                           static_cast<int>(rng() % 80) - 40);
        // In half the trials, numbers the step must leave to the scalar path, or keep the sign
        // of, all in the second half, so that a long run's first stretch passes unflagged.
        constexpr double SPECIAL[] = {0.0,     -0.0,         INFINITY, -INFINITY, NAN,
                                      DBL_MIN, DBL_TRUE_MIN, -DBL_MAX, 0x1p-960,  -0x1p-1000};
        if (trial % 2 == 0)
            for (double v : SPECIAL)
                in[in.size() / 2 + rng() % (in.size() / 2)] = v * (t > 1.0 ? 1.0 : t);
        int et = 0;
        std::frexp(t, &et);
        for (std::uint64_t X : near_midpoints(t)) {
            const double v = std::ldexp(static_cast<double>(X), et - 53 + int(rng() % 41) - 20);
            in[rng() % in.size()] = rng() % 2 ? v : -v;
            ++hard;
        }
        Result<ConversionPlan> plan = plan_conversion(metre, to);
        ASSERT_TRUE(plan);
        std::vector<double> out(in.size());
        convert_elements(*plan, in.size(), {reinterpret_cast<const char *>(in.data()), 8},
                         {reinterpret_cast<char *>(out.data()), 8});
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_TRUE(same_result(out[i], *convert(in[i], metre, to)))
                << "factor " << t << ", number " << in[i];
    }
    EXPECT_GT(hard, 1000u);
}

std::string form_name(const testing::TestParamInfo<LoopForm> &p) {
    switch (p.param) {
        case LoopForm::baseline: return "Baseline";
        case LoopForm::avx2: return "AVX2";
        case LoopForm::avx512: return "AVX512";
    }
    return "unknown";
}

INSTANTIATE_TEST_SUITE_P(Forms, ElementLoops,
                         testing::Values(LoopForm::baseline, LoopForm::avx2, LoopForm::avx512),
                         form_name);

}  // namespace
}  // namespace modrin
