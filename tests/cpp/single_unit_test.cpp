#include "unit/single_unit/single_unit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace modrin {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(BaseUnits, AreInSlotOrderWithUnitExponentInTheirOwnSlot) {
    const char *names[] = {"USD", "ampere", "candela", "kelvin", "kilogram", "meter", "mole", "second"};
    const char *symbols[] = {"USD", "A", "cd", "K", "kg", "m", "mol", "s"};
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
        const UnitDef &row = BASE_UNITS[i];
        EXPECT_EQ(row.name, names[i]);
        EXPECT_EQ(row.symbol, symbols[i]);
        EXPECT_EQ(row.factor, 1.0);
        EXPECT_EQ(row.offset, 0.0);
        for (std::size_t j = 0; j < BASE_DIMENSIONS; ++j)
            EXPECT_EQ(row.dimensions[j], i == j ? 1.0 : 0.0) << row.name << " slot " << j;
        if (i > 0) {
            EXPECT_LT(BASE_UNITS[i - 1].name, row.name);  // bytewise name order
        }
    }
}

TEST(SingleUnit, FromStaticRowCopiesEveryField) {
    SingleUnit kg = create_from_unit_def_static(BASE_UNITS[slot::kilogram]);
    EXPECT_EQ(kg.name(), "kilogram");
    EXPECT_EQ(kg.symbol(), "kg");
    EXPECT_EQ(kg.factor(), 1.0);
    EXPECT_EQ(kg.offset(), 0.0);
    EXPECT_EQ(kg.dimensions(), (BaseExponents{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST(SingleUnit, MadeUnitOwnsItsTexts) {
    std::string name = "kilometer";
    SingleUnit km = SingleUnit::make(name, "km", 1000.0, 0.0, BASE_UNITS[slot::meter].dimensions);
    name[0] = 'X';
    SingleUnit copy = km;
    EXPECT_EQ(copy.name(), "kilometer");
    EXPECT_EQ(copy.symbol(), "km");
    EXPECT_EQ(&copy.def(), &km.def());  // a copy shares the record
}

struct EqualityCase {
    const char *what;
    SingleUnit a, b;
    bool equal;
};

TEST(SingleUnit, EqualityComparesEveryField) {
    const BaseExponents len{0, 0, 0, 0, 0, 1, 0, 0};
    const BaseExponents time{0, 0, 0, 0, 0, 0, 0, 1};
    SingleUnit m = SingleUnit::from_static(BASE_UNITS[slot::meter]);
    const EqualityCase cases[] = {
        {"static row and owned copy", m, SingleUnit::make("meter", "m", 1.0, 0.0, len), true},
        {"factor differs", m, SingleUnit::make("meter", "m", 2.0, 0.0, len), false},
        {"offset differs", m, SingleUnit::make("meter", "m", 1.0, 1.0, len), false},
        {"name differs", m, SingleUnit::make("metre", "m", 1.0, 0.0, len), false},
        {"name is a prefix", m, SingleUnit::make("mete", "m", 1.0, 0.0, len), false},
        {"symbol differs", m, SingleUnit::make("meter", "M", 1.0, 0.0, len), false},
        {"dimensions differ", m, SingleUnit::make("meter", "m", 1.0, 0.0, time), false},
        {"negative zero offset", m, SingleUnit::make("meter", "m", 1.0, -0.0, len), true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.what;
        EXPECT_EQ(c.b == c.a, c.equal) << c.what;
    }
}

TEST(SingleUnit, NaNFieldMakesUnitUnequalEvenToItself) {
    SingleUnit odd = SingleUnit::make("odd", "o", NaN, 0.0, {});
    SingleUnit copy = odd;
    EXPECT_FALSE(odd == odd);
    EXPECT_FALSE(odd == copy);
    SingleUnit odd_dim = SingleUnit::make("odd", "o", 1.0, 0.0, {NaN, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(odd_dim == odd_dim);
}

TEST(SingleUnit, HashUsesTheNameOnly) {
    SingleUnit a = SingleUnit::make("thing", "t", 1.0, 0.0, {});
    SingleUnit b = SingleUnit::make("thing", "u", 5.0, 0.0, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_NE(a.hash(), SingleUnit::make("thinG", "t", 1.0, 0.0, {}).hash());
    EXPECT_EQ(SingleUnit::from_static(BASE_UNITS[0]).hash(), hash_text("USD"));
    // Fixed keys: the value is the same in every run.
    EXPECT_EQ(hash_text(""), 0xcbf29ce484222325ULL);
}

}  // namespace
}  // namespace modrin
