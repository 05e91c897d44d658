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

}  // namespace
}  // namespace modrin
