#include "unit/base_units.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "unit/parse.hpp"
#include "unit/render.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace modrin {
namespace {

UnitCollection parse(const char *text) { return *from_unit_name(text); }
SingleUnit unit(const char *text) { return *search_for_unit_name(text); }

TEST(GetBaseUnits, HasAllEightEntriesWithTheSignatureAndFactorOne) {
    UnitCollection km = parse("km");
    UnitCollection b = get_base_units(km);
    ASSERT_EQ(b.units.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(b.units[i].unit.name(), BASE_UNITS[i].name);
        EXPECT_EQ(b.units[i].exponent, i == slot::meter ? 1.0 : 0.0);
    }
    EXPECT_EQ(b.factor, 1.0);
    EXPECT_EQ(km.factor, 1000.0);
    EXPECT_EQ(b.base_exponents, km.base_exponents);
}

struct Reduction {
    UnitCollection c;
    const char *plain;
};

TEST(GetBaseUnits, RendersOverBaseSymbols) {
    const Reduction cases[] = {
        {parse("N"), "[kg.m/s2]"},
        {parse("J/K.mol"), "[kg.m2/K.mol.s2]"},
        {parse("km/hr"), "[m/s]"},
        {parse("degree Celsius"), "[K]"},  // the offset plays no part
        {pow(parse("m"), 0.5), "[m0.5]"},
        {UnitCollection::unitless(), "[]"},
        {parse("psi"), "[kg/m.s2]"},
        {parse("¢/kWh"), "[USD.s2/kg.m2]"},
    };
    for (const Reduction &r : cases) EXPECT_EQ(as_string(get_base_units(r.c)), r.plain);
    EXPECT_EQ(as_descriptive_string(get_base_units(parse("N"))), "[kilogram.meter/second2]");
}

struct CompatCase {
    const char *a, *b;
    bool compatible;
};

TEST(IsCompatible, ComparesBaseSignaturesExactly) {
    const CompatCase cases[] = {
        {"J", "N.m", true}, {"J", "N", false}, {"Hz", "Bq", true}, {"km/hr", "m/s", true},
        {"psi", "Pa", true}, {"psi", "kg/m2", false}, {"degree Celsius", "K", true},
        {"m", "s", false}, {"L", "m3", true}, {"Wh", "J", true}, {"rad", "sr", true},
    };
    for (const CompatCase &c : cases)
        EXPECT_EQ(is_compatible(parse(c.a), parse(c.b)), c.compatible) << c.a << " vs " << c.b;
    EXPECT_FALSE(is_compatible(parse("m"), UnitCollection::unitless()));
}

TEST(IsCompatible, FractionalResidueIsNotCompatible) {
    UnitCollection residue = quotient(product(pow(parse("m"), 0.1), pow(parse("m"), 0.2)),
                                      pow(parse("m"), 0.3));
    EXPECT_FALSE(is_compatible(residue, UnitCollection::unitless()));
}

struct SatisfyCase {
    ExponentAssignment candidate;
    const char *target;
    bool satisfied;
};

TEST(CheckSatisfiesBaseUnits, AcceptsExactlyTheTargetSignature) {
    const SatisfyCase cases[] = {
        {{{unit("N"), 1}, {unit("m"), 1}}, "J", true},
        {{{unit("N"), 1}}, "J", false},
        {{{unit("s"), -1}}, "Hz", true},  // -1 adds the dimensions back
        {{{unit("m"), 3}}, "m3", true},   // the general case multiplies
        {{{unit("m"), -3}}, "1/m3", true},
        {{{unit("km"), 2}, {unit("hr"), -2}}, "m2/s2", true},
        {{{unit("J"), 1}, {unit("N"), -1}}, "m", true},
        {{{unit("m"), 0}}, "s", false},
    };
    for (const SatisfyCase &c : cases)
        EXPECT_EQ(check_satisfies_base_units(c.candidate, parse(c.target).base_exponents),
                  c.satisfied)
            << c.target;
    EXPECT_TRUE(check_satisfies_base_units({}, BaseExponents{}));
    EXPECT_FALSE(check_satisfies_base_units({}, parse("m").base_exponents));
    BaseExponents nan{};
    nan[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(check_satisfies_base_units({}, nan));
}

}  // namespace
}  // namespace modrin
