#include "unit/quantity.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "unit/base_units.hpp"
#include "unit/parse.hpp"

namespace modrin {
namespace {

UnitCollection parse(const char *text) { return *from_unit_name(text); }
Quantity q(double v, const char *text) { return {v, parse(text)}; }
double convert(double v, const UnitCollection &from, const UnitCollection &to) {
    return as_unit_internal({v, from}, to)->value;
}

struct ConversionCase {
    double value;
    UnitCollection from, to;
    double expected;
    const char *why;
};

TEST(AsUnitInternal, ConvertsWithFactorsAndSingleUnitOffsets) {
    const ConversionCase cases[] = {
        {1, parse("km"), parse("m"), 1000, "factor over factor"},
        {20, parse("degree Celsius"), parse("K"), 293.15, "offset applied"},
        {293.15, parse("K"), parse("degree Celsius"), 20, "and back"},
        {32, parse("°F"), parse("K"), 273.15, "water freezes"},
        {212, parse("°F"), parse("°C"), 100, "and boils"},
        {-40, parse("°F"), parse("°C"), -40, "where the scales meet"},
        {0, parse("K"), parse("°F"), -459.66999999999996, "absolute zero"},
        {100, parse("°C"), parse("°F"), 211.99999999999997, "the rounded factor shows"},
        {20, pow(parse("°C"), 2), pow(parse("K"), 2), 20, "no offset at exponent 2"},
        {2, pow(parse("°C"), -1), pow(parse("K"), -1), 2, "nor per degree"},
        {2, pow(parse("°C"), -1), pow(parse("°F"), -1), 2 * 0.5555555555555556, ""},
        {20, parse("°C.m"), parse("K.m"), 20, "no offset for two entries"},
        {20, parse("°C"), get_base_units(parse("°C")), 20, "eight entries: no offset"},
        {1, parse("km/hr"), parse("m/s"), 1000.0 / 3600.0, ""},
        {2, parse("km"), get_base_units(parse("km")), 2000, "to base units"},
        {1, parse("psi"), parse("Pa"), 6894.757293168361, "psi is a pressure"},
        {1, parse("Rankine"), parse("K"), 0.5555555555555556, "no offset on Rankine"},
    };
    for (const ConversionCase &c : cases)
        EXPECT_EQ(convert(c.value, c.from, c.to), c.expected) << c.why;
}

TEST(AsUnitInternal, KeepsTheScaleApartWhereFactorsLeaveTheDoubleRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const ConversionCase cases[] = {
        {5, parse("shed9.rad"), pow(parse("shed"), 9), 5, "factor 0 over factor 0"},
        {1, parse("Qm9.Qm2/m"), pow(parse("Qm"), 10), 1e30, "factor inf over 1e300"},
        {1e-300, parse("Qm9"), parse("m9"), 1e-30, "the factor times the number overflows"},
        // Binary prefixes are powers of two, so these answers are exact.
        {std::ldexp(1, -100), pow(parse("Yim"), -12), pow(parse("Zim"), -12), std::ldexp(1, -220),
         "the factor times the number underflows"},
        {3, pow(parse("Yim"), 13), pow(parse("Zim"), 13), std::ldexp(3, 130), "a factor overflows"},
        {-2, pow(parse("Qs"), 11), pow(parse("ks"), 11), -2e297, "the sign is kept"},
        {1e40, parse("Qm9"), parse("m9"), inf, "an exact result beyond the range stays inf"},
        {1e-300, parse("qm9"), parse("m9"), 0, "and one below it 0"},
    };
    for (const ConversionCase &c : cases)
        EXPECT_DOUBLE_EQ(convert(c.value, c.from, c.to), c.expected) << c.why;
}

TEST(AsUnitInternal, IntoTheSameUnitsReturnsTheNumberUnchanged) {
    for (const char *text : {"degree Celsius", "°F", "km/hr", "ft.ft.ft", "J/K.mol"}) {
        for (double v : {0.1, 1.0, -40.0, 1e-300, std::numeric_limits<double>::infinity()}) {
            Quantity from = q(v, text);
            EXPECT_EQ(as_unit_internal(from, parse(text))->value, v) << text;
        }
    }
    // Same units listed in another order are the same units.
    EXPECT_EQ(convert(0.1, parse("m.s"), parse("s.m")), 0.1);
    EXPECT_TRUE(std::isnan(convert(NAN, parse("°C"), parse("°C"))));
}

TEST(AsUnitInternal, ResultCarriesTheTargetCollection) {
    UnitCollection target = parse("m/s");
    Result<Quantity> r = as_unit_internal(q(36, "km/hr"), target);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->collection, target);
    EXPECT_DOUBLE_EQ(r->value, 10.0);
}

struct IncompatibleCase {
    UnitCollection from, to;
    const char *message;
};

TEST(AsUnitInternal, IncompatibleUnitsNameSourceThenTarget) {
    UnitCollection nan_dims = pow(parse("m"), NAN);
    const IncompatibleCase cases[] = {
        {parse("m"), parse("s"), "[m] and [s] are not compatible"},
        {parse("m"), UnitCollection::unitless(), "[m] and [] are not compatible"},
        {parse("psi"), parse("kg/m2"), "[psi] and [kg/m2] are not compatible"},
        {nan_dims, nan_dims, "[] and [] are not compatible"},  // NaN never equals itself
    };
    for (const IncompatibleCase &c : cases) {
        Result<Quantity> r = as_unit_internal({1.0, c.from}, c.to);
        ASSERT_FALSE(r.has_value()) << c.message;
        EXPECT_EQ(message(r.error()), c.message);
    }
}

TEST(SsInplInternal, SimplifiesAndRescalesInPlace) {
    Quantity x = q(3, "km");
    x.collection = quotient(x.collection, pow(parse("m"), 3));  // km/m3
    ss_inpl_internal(x);
    EXPECT_EQ(x.value, 3000);
    EXPECT_EQ(x.collection, pow(parse("m"), -2));

    Quantity t = q(0.1, "°C");
    ss_inpl_internal(t);
    EXPECT_EQ(t.value, 0.1);  // no drift through the offset
}

TEST(PowerOf, GivesStdPowsBitsForEveryKindOfBase) {
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    std::mt19937_64 rng(7);
    auto check = [&](double x, double e) {
        ASSERT_EQ(bits(power_of(x, e)), bits(std::pow(x, e))) << x << " ** " << e;
    };
    for (double x : {0.0, -0.0, 1.0, -2.0, 0x1p-600, 0x1p-484, 0x1.8p-484, 0x1.fffffffffffffp511,
                     0x1p512, 1e-320, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN(), 3.0, 1.1, 0.1})
        for (double e : {2.0, 3.0, 0.5, -1.0}) check(x, e);
    for (int i = 0; i < 2000000; ++i) {
        const std::uint64_t r = rng();
        check(std::bit_cast<double>(r), 2.0);  // every exponent range, NaN and inf
        // Ordinary magnitudes with short and long mantissas, where squares land near midpoints.
        const double m = std::ldexp(static_cast<double>(r >> (11 + i % 40)), -int(r % 64));
        check(m, 2.0);
        check(-m * 1.0000000000000002, 2.0);
    }
}

}  // namespace
}  // namespace modrin
