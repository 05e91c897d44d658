#include "unit/simplify.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "unit/base_units.hpp"
#include "unit/parse.hpp"
#include "unit/quantity.hpp"
#include "unit/render.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace modrin {
namespace {

UnitCollection parse(const char *text) { return *from_unit_name(text); }
UnitCollection of(const char *unit, double e) {
    return pow(coerce_unit_to_collection(*search_for_unit_name(unit)), e);
}
// Multiplies factors as the quantity operators do, so entries keep the given order.
UnitCollection build(std::initializer_list<std::pair<const char *, double>> entries) {
    UnitCollection c;
    for (const auto &[u, e] : entries) c = product(std::move(c), of(u, e));
    return c;
}

struct SimpleCase {
    UnitCollection in;
    const char *plain;
    const char *why;
};

TEST(SimpleSimplify, CancelsAcrossTheFractionBarAndOppositeDimensions) {
    const SimpleCase cases[] = {
        {UnitCollection::unitless(), "[]", "empty stays empty"},
        {parse("km2"), "[km2]", "one entry unchanged"},
        {parse("m.m"), "[m2]", ""},
        {parse("m.km"), "[km.m]", "same side: left alone"},
        {build({{"km", 1}, {"m", -3}}), "[1/m2]", "the larger power survives"},
        {build({{"m", 2}, {"km", -1}}), "[m]", ""},
        {parse("hr/s"), "[]", "both cancel"},
        {parse("Hz.s"), "[]", "opposite dimensions on one side"},
        {parse("rad/°"), "[]", "dimensionless units share a dimension"},
        {build({{"Hz", -2}, {"s", -3}}), "[Hz]", "the larger magnitude goes"},
        {build({{"Hz", 2}, {"s", 3}}), "[s]", ""},
        {parse("m2/km"), "[m]", ""},
        {build({{"m", 2}, {"km", 1}}), "[km.m2]", "proportional dimensions are unrelated"},
        {build({{"N", 1}, {"s", 2}}), "[N.s2]", "unrelated units"},
        {build({{"km", 2}, {"mm", -3}, {"m", -1}}), "[1/m.mm]", "three units of one dimension"},
        {build({{"m", 2}, {"km", 1}, {"mm", -1}}), "[km.m]", "first pair in collection order"},
    };
    for (const SimpleCase &c : cases) EXPECT_EQ(as_string(simple_simplify(c.in)), c.plain) << c.why;
}

TEST(SimpleSimplify, RemovesZeroEntriesThatMeetAPartner) {
    // m +0 and s -0, then km -1: m has the partner of opposite sign it needs, s has none.
    UnitCollection zeroed = quotient(pow(parse("m/s"), 0.0), parse("km"));
    UnitCollection r = simple_simplify(zeroed);
    EXPECT_FALSE(r.units.contains(*search_for_unit_name("m")));
    EXPECT_TRUE(r.units.contains(*search_for_unit_name("s")));
    EXPECT_EQ(r.units.get(*search_for_unit_name("km")), -1.0);
    // With a partner of the same sign a zero entry stays.
    UnitCollection kept = simple_simplify(product(pow(parse("m"), 0.0), parse("km")));
    EXPECT_EQ(kept.units.size(), 2u);
}

TEST(SimpleSimplify, FractionalResidueLeavesTheInputUnchanged) {
    UnitCollection c = quotient(product(of("m", 0.1), of("km", 0.2)), of("mm", 0.3));
    UnitCollection r = simple_simplify(c);
    EXPECT_EQ(r, c);
    Quantity q{2.0, c};
    ss_inpl_internal(q);
    EXPECT_EQ(q.value, 2.0);
}

TEST(SimpleSimplify, NonFiniteExponentsTerminate) {
    UnitCollection inf = build({{"m", INFINITY}, {"km", -INFINITY}});
    EXPECT_EQ(simple_simplify(inf).units.size(), 2u);
    UnitCollection nan = build({{"m", NAN}, {"km", NAN}});
    EXPECT_EQ(simple_simplify(nan).units.size(), 2u);
}

struct FullCase {
    UnitCollection in;
    const char *plain;
    std::size_t entries;  // zero-exponent entries included
    const char *why;
};

TEST(Simplify, DropsUnitsThatOnlyCancelEachOther) {
    const FullCase cases[] = {
        {UnitCollection::unitless(), "[]", 0, "empty"},
        {of("km", 2.5), "[km2.5]", 1, "a single unit is kept whatever its exponent"},
        {build({{"m", 0.5}, {"s", 1}}), "[m0.5.s]", 2, "non-whole exponents: simple only"},
        {build({{"N", 1}, {"s", 2}}), "[N.s2]", 2, "the search moves s up to 2"},
        {parse("J/N.m"), "[]", 3, "no anchor: everything cancels"},
        {build({{"kg", 1}, {"J", 1}, {"N", -1}, {"m", -1}}), "[kg]", 4, "kg found in one step"},
        {parse("rad.sr"), "[]", 2, "dimensionless"},
        {build({{"W", 1}, {"s", 1}, {"m", -1}}), "[W.s/m]", 3, "W anchors; s and m must move"},
        {parse("kg.m/s"), "[kg.m/s]", 3, "all anchors"},
        {build({{"J", 1}, {"N", -1}}), "[J/N]", 2, "never a new unit, so J/N stays"},
        {parse("km/hr"), "[km/hr]", 2, "each unit its own dimension"},
        {build({{"J", 2}, {"N", -1}, {"m", -1}}), "[J]", 3, "J moves one step, not two"},
        // Large exponents: past the search's bound, the problem divided by their common factor.
        {pow(parse("W.s.C/J.A"), 950), "[s950]", 5, "a plain cancellation at a large power"},
        {pow(parse("W.s.C.Pa.L/J.A.N.m"), 636), "[s636]", 9, "the same with more units"},
        {pow(parse("J.s.Hz/W.N.m2"), 2701), "[1/W2701.m2701]", 4, "with s.Hz cancelled first"},
    };
    for (const FullCase &c : cases) {
        UnitCollection r = simplify(c.in);
        EXPECT_EQ(as_string(r), c.plain) << c.why;
        EXPECT_EQ(r.units.size(), c.entries) << c.why;
        EXPECT_EQ(r.base_exponents, simple_simplify(c.in).base_exponents) << c.why;
    }
}

TEST(Simplify, CancelledUnitsKeepTheNumber) {
    Quantity x{5.0, build({{"kg", 1}, {"J", 1}, {"N", -1}, {"m", -1}})};
    Result<Quantity> r = as_unit_internal(x, simplify(x.collection));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->value, 5.0);
}

TEST(Simplify, TiesGoToTheEarlierUnit) {
    // J alone or Wh alone carries the energy in one step; the earlier one is kept.
    EXPECT_EQ(as_string(simplify(build({{"Wh", 1}, {"J", 1}, {"N", -1}, {"m", -1}}))), "[Wh]");
    EXPECT_EQ(as_string(simplify(build({{"J", 1}, {"Wh", 1}, {"N", -1}, {"m", -1}}))), "[J]");
}

// Random products of catalogue units with whole exponents, built as the operators build them.
std::vector<UnitCollection> random_collections(unsigned seed, std::size_t count) {
    const char *pool[] = {"m", "km", "s", "hr", "kg", "g", "N", "J", "W", "Pa", "Hz",
                          "A", "V", "C", "K", "mol", "L", "ft", "lbf", "psi", "Wh"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, std::size(pool) - 1), len(1, 6), exp(-4, 4);
    std::vector<UnitCollection> out;
    for (std::size_t i = 0; i < count; ++i) {
        UnitCollection c;
        for (int k = len(rng); k > 0; --k) {
            int e = exp(rng);
            if (e != 0) c = product(std::move(c), of(pool[pick(rng)], e));
        }
        out.push_back(c);
    }
    return out;
}

TEST(Simplify, InvariantsHoldOnManyCollections) {
    for (const UnitCollection &c : random_collections(7, 2000)) {
        std::string shown = as_string(c);
        UnitCollection s = simple_simplify(c);
        UnitCollection f = simplify(c);
        EXPECT_EQ(s.base_exponents, c.base_exponents) << shown;
        EXPECT_EQ(f.base_exponents, c.base_exponents) << shown;
        // The factor is consistent with the units.
        EXPECT_EQ(from_single_unit_hashmap(f.units).factor, f.factor) << shown;
        // Never a new unit; every exponent between 0 and its simple value.
        for (const auto &[u, e] : f.units) {
            auto before = s.units.get(u);
            ASSERT_TRUE(before.has_value()) << shown;
            EXPECT_TRUE((e >= 0 && e <= *before) || (e <= 0 && e >= *before)) << shown;
        }
        // Simplifying again changes nothing more.
        EXPECT_EQ(as_string(simplify(f)), as_string(f)) << shown;
        EXPECT_EQ(as_string(simple_simplify(s)), as_string(s)) << shown;
        // The amount survives the conversion.
        Quantity q{1.0, c};
        double amount = as_unit_internal(q, f)->value * f.factor;
        EXPECT_NEAR(amount / c.factor, 1.0, 1e-12) << shown;
    }
}

TEST(Simplify, SameResultOnEveryThread) {
    std::vector<UnitCollection> inputs = random_collections(11, 400);
    std::vector<std::string> expected;
    for (const auto &c : inputs) expected.push_back(as_string(simplify(c)) + as_descriptive_string(simplify(c)));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                UnitCollection r = simplify(inputs[i]);
                if (as_string(r) + as_descriptive_string(r) != expected[i]) ++mismatches[t];
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace modrin
