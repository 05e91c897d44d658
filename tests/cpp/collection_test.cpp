#include "unit/collection.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace modrin {
namespace {

const SingleUnit m = SingleUnit::from_static(BASE_UNITS[slot::meter]);
const SingleUnit s = SingleUnit::from_static(BASE_UNITS[slot::second]);
const SingleUnit kg = SingleUnit::from_static(BASE_UNITS[slot::kilogram]);
const SingleUnit km = SingleUnit::make("kilometer", "km", 1000.0, 0.0, m.dimensions());
const SingleUnit hr = SingleUnit::make("hour", "hr", 3600.0, 0.0, s.dimensions());

UnitCollection of(const SingleUnit &u) { return coerce_unit_to_collection(u); }

BaseExponents dims(std::size_t i, double e) {
    BaseExponents b{};
    b[i] = e;
    return b;
}

bool all_positive_zero(const BaseExponents &b) {
    for (double e : b)
        if (e != 0.0 || std::signbit(e)) return false;
    return true;
}

TEST(UnitCollection, UnitlessHasNoEntriesAndFactorOne) {
    UnitCollection u = UnitCollection::unitless();
    EXPECT_TRUE(u.units.empty());
    EXPECT_TRUE(all_positive_zero(u.base_exponents));
    EXPECT_EQ(u.factor, 1.0);
}

TEST(UnitCollection, CoercedUnitHasExponentOneAndItsOwnSignature) {
    UnitCollection c = of(km);
    ASSERT_EQ(c.units.size(), 1u);
    EXPECT_EQ(c.units.get(km), 1.0);
    EXPECT_EQ(c.base_exponents, dims(slot::meter, 1));
    EXPECT_EQ(c.factor, 1000.0);
}

TEST(UnitCollection, ProductMergesEqualUnits) {
    UnitCollection c = product(of(m), of(m));
    ASSERT_EQ(c.units.size(), 1u);
    EXPECT_EQ(c.units.get(m), 2.0);
    EXPECT_EQ(c.base_exponents, dims(slot::meter, 2));
    EXPECT_EQ(c.factor, 1.0);
}

TEST(UnitCollection, ProductKeepsUnitsOfOneDimensionApart) {
    UnitCollection c = product(of(km), of(m));
    ASSERT_EQ(c.units.size(), 2u);
    EXPECT_EQ(c.units.get(km), 1.0);
    EXPECT_EQ(c.units.get(m), 1.0);
    EXPECT_EQ(c.base_exponents, dims(slot::meter, 2));
    EXPECT_EQ(c.factor, 1000.0);
}

TEST(UnitCollection, QuotientCancelsEqualUnitsToUnitless) {
    UnitCollection c = quotient(of(m), of(m));
    EXPECT_TRUE(c.units.empty());
    EXPECT_TRUE(all_positive_zero(c.base_exponents));
    EXPECT_EQ(c.factor, 1.0);
    EXPECT_EQ(c, UnitCollection::unitless());
}

TEST(UnitCollection, QuotientOfOneDimensionKeepsBothUnits) {
    UnitCollection c = quotient(of(hr), of(s));
    EXPECT_EQ(c.units.get(hr), 1.0);
    EXPECT_EQ(c.units.get(s), -1.0);
    EXPECT_TRUE(all_positive_zero(c.base_exponents));
    EXPECT_EQ(c.factor, 3600.0);
}

TEST(UnitCollection, PowerZeroKeepsEntriesAtZero) {
    UnitCollection c = pow(quotient(of(m), of(s)), 0.0);
    ASSERT_EQ(c.units.size(), 2u);
    EXPECT_EQ(c.units.get(m), 0.0);
    EXPECT_EQ(c.units.get(s), 0.0);
    EXPECT_TRUE(std::signbit(*c.units.get(s)));  // -1 * 0 is a negative zero
    for (double e : c.base_exponents) EXPECT_EQ(e, 0.0);
    EXPECT_EQ(c.factor, 1.0);
}

TEST(UnitCollection, FractionalPowers) {
    UnitCollection sq = pow(product(of(m), of(m)), 0.5);
    EXPECT_EQ(sq.units.get(m), 1.0);
    EXPECT_EQ(sq.factor, 1.0);
    UnitCollection root = pow(of(m), 0.5);
    EXPECT_EQ(root.units.get(m), 0.5);
    EXPECT_EQ(root.base_exponents, dims(slot::meter, 0.5));
    UnitCollection root_km = pow(of(km), 0.5);
    EXPECT_EQ(root_km.factor, std::pow(1000.0, 0.5));
}

TEST(UnitCollection, ProductKeepsLeftZeroEntriesAndDropsRightOnes) {
    UnitCollection left_zero = product(pow(of(m), 0.0), of(s));
    EXPECT_EQ(left_zero.units.get(m), 0.0);  // never examined, so it stays
    EXPECT_EQ(left_zero.units.get(s), 1.0);

    UnitCollection right_zero = product(of(s), pow(of(m), 0.0));
    EXPECT_FALSE(right_zero.units.contains(m));  // inserted and at once removed

    UnitCollection held = product(of(m), pow(of(m), 0.0));
    EXPECT_EQ(held.units.get(m), 1.0);  // a zero from the right leaves the left as it was
}

TEST(UnitCollection, ProductWithUnitlessChangesNothing) {
    UnitCollection c = quotient(of(km), of(hr));
    EXPECT_EQ(product(c, UnitCollection::unitless()), c);
    EXPECT_EQ(product(UnitCollection::unitless(), c), c);
}

TEST(UnitCollection, InexactSumsDoNotCancel) {
    // 0.1 + 0.2 - 0.3 is not exactly zero, so the entry stays.
    UnitCollection c = quotient(product(pow(of(m), 0.1), pow(of(m), 0.2)), pow(of(m), 0.3));
    ASSERT_TRUE(c.units.contains(m));
    EXPECT_NE(*c.units.get(m), 0.0);
}

TEST(UnitCollection, FromHashmapRecomputesSignatureAndFactorKeepingZeros) {
    UnitExponents map{{km, 2.0}, {hr, -1.0}, {kg, 0.0}};
    UnitCollection c = from_single_unit_hashmap(map);
    EXPECT_EQ(c.units, map);
    EXPECT_EQ(c.units.get(kg), 0.0);
    BaseExponents want{};
    want[slot::meter] = 2;
    want[slot::second] = -1;
    EXPECT_EQ(c.base_exponents, want);
    EXPECT_DOUBLE_EQ(c.factor, 1e6 / 3600.0);
}

TEST(UnitCollection, EqualityIgnoresEntryOrder) {
    EXPECT_EQ(product(of(m), of(s)), product(of(s), of(m)));
    EXPECT_NE(product(of(m), of(s)), product(of(m), of(hr)));
}

TEST(UnitCollection, ManyEntriesSpillAndStayConsistent) {
    UnitCollection c;
    for (int i = 0; i < 20; ++i) {
        SingleUnit u = SingleUnit::make("u" + std::to_string(i), "u", 2.0, 0.0, m.dimensions());
        c = product(std::move(c), of(u));
    }
    EXPECT_EQ(c.units.size(), 20u);
    EXPECT_EQ(c.factor, std::pow(2.0, 20));
    EXPECT_EQ(c.base_exponents, dims(slot::meter, 20));
    EXPECT_EQ(from_single_unit_hashmap(c.units), c);
}

TEST(UnitCollection, FactorsKeepTheirDigitsWhereAPartialProductLeavesTheRange) {
    auto unit = [](const char *symbol, double factor, const BaseExponents &d) {
        return SingleUnit::make(symbol, symbol, factor, 0.0, d);
    };
    const BaseExponents length = m.dimensions(), time = s.dimensions();
    const SingleUnit qm = unit("qm", 1e-30, length), Qm = unit("Qm", 1e30, length),
                     ys = unit("ys", 1e-24, time), qs = unit("qs", 1e-30, time),
                     cs = unit("cs", 0.01, time), shed = unit("shed", 1e-52, dims(slot::meter, 2));
    // The exact product of the factors' powers: long double holds these scales and digits.
    auto exact = [](std::initializer_list<std::pair<double, double>> powers) {
        long double r = 1.0L;
        for (auto [f, e] : powers) r *= std::pow(static_cast<long double>(f), static_cast<long double>(e));
        return static_cast<double>(r);
    };
    const struct {
        UnitCollection c;
        double exact;
        const char *why;
    } cases[] = {
        {quotient(pow(of(shed), 6), of(shed)), exact({{1e-52, 5}}), "a subnormal power"},
        {quotient(product(product(pow(of(qm), 9), pow(of(ys), 2)), pow(of(cs), 2)),
                  pow(of(qs), 2)),
         exact({{1e-30, 9}, {1e-24, 2}, {0.01, 2}, {1e-30, -2}}), "subnormal running products"},
        {from_single_unit_hashmap({{qm, 9.0}, {ys, 2.0}, {cs, 2.0}, {qs, -2.0}}),
         exact({{1e-30, 9}, {1e-24, 2}, {0.01, 2}, {1e-30, -2}}), "the same from a map"},
        {quotient(pow(of(Qm), 11), pow(of(Qm), 9)), exact({{1e30, 2}}), "inf over inf"},
        {product(pow(of(Qm), 11), pow(of(qm), 10)), exact({{1e30, 11}, {1e-30, 10}}),
         "inf times 0"},
        {pow(pow(of(Qm), 11), 0.5), exact({{1e30, 5.5}}), "the root of inf"},
    };
    for (const auto &c : cases)
        EXPECT_LE(std::fabs(c.c.factor - c.exact), 2 * (std::nextafter(c.exact, 1e308) - c.exact))
            << c.why << ": " << c.c.factor << " " << c.exact;
}

}  // namespace
}  // namespace modrin
