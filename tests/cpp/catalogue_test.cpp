// Walks every row of every catalogue table: lookups reach each row, texts are unique where they
// must be, and factors agree with the physical definitions they come from.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <string>

#include "constant/constants.hpp"
#include "unit/unit_defs/log_units.hpp"
#include "unit/unit_defs/lookup.hpp"
#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

namespace modrin {
namespace {

const UnitDef &row(std::string_view name) {
    const UnitDef *r = query_unit_names_internal(name, false);
    if (r == nullptr) throw std::runtime_error("no row " + std::string(name));
    return *r;
}

TEST(Catalogue, EveryRowIsReachedByItsNameAndSymbol) {
    std::set<std::string_view> names;
    for (const UnitDef &b : BASE_UNITS) names.insert(b.name);
    for (const UnitDef &u : UNITS) {
        EXPECT_TRUE(names.insert(u.name).second) << "duplicate name " << u.name;
        EXPECT_EQ(query_unit_names_internal(u.name, false), &u);
        const UnitDef *by_symbol = query_unit_symbols_internal(u.symbol);
        if (u.name == "darcy")
            EXPECT_EQ(by_symbol->name, "day");  // the earlier row owns the shared symbol "d"
        else
            EXPECT_EQ(by_symbol, &u) << u.name;
        EXPECT_TRUE(std::isfinite(u.factor) && u.factor > 0) << u.name;
        for (double d : u.dimensions) EXPECT_EQ(d, std::trunc(d)) << u.name;
        bool offset_scale = u.name == "degree Celsius" || u.name == "degree Fahrenheit";
        EXPECT_EQ(u.offset != 0.0, offset_scale) << u.name;
    }
    EXPECT_EQ(UNITS.size(), 128u);
}

TEST(Catalogue, NoCatalogueTextHoldsADigit) {
    // The parser reads a trailing digit as an exponent; a digit in a name would be unreachable.
    auto has_digit = [](std::string_view s) { return s.find_first_of("0123456789") != s.npos; };
    for (const UnitDef &u : UNITS) EXPECT_FALSE(has_digit(u.name) || has_digit(u.symbol)) << u.name;
    for (const UnitPrefix &p : PREFIXES) EXPECT_FALSE(has_digit(p.name) || has_digit(p.symbol));
    for (const UnitAlias &a : UNIT_ALIASES) EXPECT_FALSE(has_digit(a.alias)) << a.alias;
}

struct Relation {
    const char *name;
    double expected;
};

constexpr double FT = 0.3048, IN = 0.0254, LB = 0.45359237, G0 = 9.80665;
constexpr double GAL = 231 * IN * IN * IN, IMP_GAL = 0.00454609, LBF = LB * G0;
constexpr double YEAR = 31556925.9746784, DAY = 86400.0;

TEST(Catalogue, FactorsAgreeWithTheirDefinitions) {
    const Relation relations[] = {
        {"gram", 1e-3}, {"hour", 3600}, {"minute", 60}, {"day", DAY}, {"week", 7 * DAY},
        {"fortnight", 14 * DAY}, {"degree (angle)", std::numbers::pi / 180},
        {"minute (angle)", std::numbers::pi / 180 / 60},
        {"second (angle)", std::numbers::pi / 180 / 3600}, {"liter", 1e-3},
        {"foot", FT}, {"inch", IN}, {"yard", 3 * FT}, {"mile", 5280 * FT}, {"chain", 66 * FT},
        {"rod", 16.5 * FT}, {"link", 0.66 * FT}, {"furlong", 660 * FT},
        {"survey foot", 1200.0 / 3937.0}, {"nautical mile", 1852}, {"knot", 1852.0 / 3600},
        {"acre", 43560 * FT * FT}, {"hectare", 1e4}, {"are", 100},
        {"pound", LB}, {"ounce", LB / 16}, {"grain", LB / 7000}, {"ton", 2000 * LB},
        {"long ton", 2240 * LB}, {"stone", 14 * LB}, {"hundredweight", 100 * LB},
        {"hundredweight (imperial)", 112 * LB}, {"troy ounce", 480 * LB / 7000},
        {"troy pound", 12 * 480 * LB / 7000}, {"pennyweight", 24 * LB / 7000},
        {"carat", 2e-4}, {"pound-mol", 1000 * LB},
        {"gallon", GAL}, {"quart", GAL / 4}, {"pint", GAL / 8}, {"cup", GAL / 16},
        {"gill", GAL / 32}, {"fluid ounce", GAL / 128}, {"tablespoon", GAL / 256},
        {"teaspoon", GAL / 768}, {"gallon (imperial)", IMP_GAL}, {"quart (imperial)", IMP_GAL / 4},
        {"pint (imperial)", IMP_GAL / 8}, {"gill (imperial)", IMP_GAL / 32},
        {"fluid ounce (imperial)", IMP_GAL / 160}, {"pint (dry)", 33.6003125 * IN * IN * IN},
        {"quart (dry)", 2 * 33.6003125 * IN * IN * IN},
        {"pound-force", LBF}, {"poundal", LB * FT}, {"kilogram force", G0}, {"dyne", 1e-5},
        {"pounds per square inch", LBF / (IN * IN)}, {"atmosphere", 101325},
        {"torr", 101325.0 / 760}, {"bar", 1e5}, {"barye", 0.1},
        {"horsepower", 550 * FT * LBF}, {"horsepower (metric)", 75 * G0}, {"watt hour", 3600},
        {"calorie", 4.184}, {"erg", 1e-7}, {"electronvolt", 1.602176634e-19},
        {"Rankine", 5.0 / 9}, {"degree Fahrenheit", 5.0 / 9},
        {"month", YEAR / 12}, {"decade", 10 * YEAR}, {"century", 100 * YEAR},
        {"millennium", 1000 * YEAR}, {"calendar year", 365 * DAY}, {"leap year", 366 * DAY},
        {"julian year", 365.25 * DAY}, {"gregorian year", 365.2425 * DAY},
        {"light speed", 299792458}, {"lightyear", 299792458 * 365.25 * DAY},
        {"parsec", 149597870700.0 * 648000 / std::numbers::pi}, {"angstrom", 1e-10},
        {"barn", 1e-28}, {"curie", 3.7e10}, {"cent", 0.01}, {"jiffy", 0.01},
    };
    for (const Relation &r : relations) {
        double f = row(r.name).factor;
        EXPECT_NEAR(f / r.expected, 1.0, 4e-16) << r.name << " " << f << " vs " << r.expected;
    }
    // The slug keeps its tabled value, 4.5e-8 above lbf.s2/ft.
    EXPECT_NEAR(row("slug").factor / (LBF / FT), 1.0, 1e-7);
}

TEST(Catalogue, DimensionsOfDerivedUnits) {
    EXPECT_EQ(row("newton").dimensions, (BaseExponents{0, 0, 0, 0, 1, 1, 0, -2}));
    EXPECT_EQ(row("volt").dimensions, (BaseExponents{0, -1, 0, 0, 1, 2, 0, -3}));
    EXPECT_EQ(row("farad").dimensions, (BaseExponents{0, 2, 0, 0, -1, -2, 0, 4}));
    EXPECT_EQ(row("pounds per square inch").dimensions, row("pascal").dimensions);
    EXPECT_EQ(row("cent").dimensions, BASE_UNITS[slot::usd].dimensions);
    EXPECT_EQ(row("radian").dimensions, BaseExponents{});
}

TEST(Catalogue, OffsetsOfTheTemperatureScales) {
    EXPECT_EQ(row("degree Celsius").offset, -273.15);
    EXPECT_EQ(row("degree Celsius").factor, 1.0);
    // The zero point is the double nearest -459.67 * 5/9, so the fixed points land exactly.
    EXPECT_EQ(row("degree Fahrenheit").offset, -459.67 * 5 / 9);
    EXPECT_EQ(32 * row("degree Fahrenheit").factor - row("degree Fahrenheit").offset, 273.15);
    EXPECT_EQ(row("Rankine").offset, 0.0);
}

TEST(Catalogue, PrefixesAreOrderedAndExact) {
    ASSERT_EQ(PREFIXES.size(), 34u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(PREFIXES[i].value, std::ldexp(1.0, 10 * static_cast<int>(i + 1))) << PREFIXES[i].name;
    // SI prefixes run from the largest down, myria in its place, deca before deka.
    for (std::size_t i = 9; i < PREFIXES.size(); ++i)
        EXPECT_LE(PREFIXES[i].value, PREFIXES[i - 1].value) << PREFIXES[i].name;
    EXPECT_EQ(PREFIXES[0].name, "kibi");
    EXPECT_EQ(PREFIXES[8].name, "quetta");
    EXPECT_EQ(PREFIXES[17].name, "myria");
    EXPECT_EQ(PREFIXES[20].name, "deca");
    EXPECT_EQ(PREFIXES[21].name, "deka");
    EXPECT_EQ(PREFIXES[33].name, "quecto");
    for (const UnitPrefix &p : PREFIXES) {
        if (p.value < 1 && p.name != "deci" && p.name != "centi") {
            int exponent = static_cast<int>(std::lround(std::log10(p.value)));
            EXPECT_EQ(p.value, std::stod("1e" + std::to_string(exponent))) << p.name;
        }
    }
}

TEST(Catalogue, EveryAliasResolvesAndNoneHidesAUnit) {
    ASSERT_EQ(UNIT_ALIASES.size(), 33u);
    for (const UnitAlias &a : UNIT_ALIASES) {
        EXPECT_EQ(query_unit_names_internal(a.alias, false), nullptr) << a.alias;
        EXPECT_EQ(query_unit_symbols_internal(a.alias), nullptr) << a.alias;
        auto unit = search_for_unit_name(a.alias);
        ASSERT_TRUE(unit.has_value()) << a.alias;
        EXPECT_EQ(unit->name(), a.canonical) << a.alias;
    }
}

TEST(Catalogue, EveryConstantAndAliasResolvesAndParses) {
    ASSERT_EQ(CONSTANTS.size(), 16u);
    ASSERT_EQ(CONSTANT_ALIASES.size(), 15u);
    for (const ConstantDef &c : CONSTANTS) EXPECT_EQ(search_for_constant_name(c.name), &c);
    for (const ConstantAlias &a : CONSTANT_ALIASES) {
        const ConstantDef *c = search_for_constant_name(a.alias);
        ASSERT_NE(c, nullptr) << a.alias;
        EXPECT_EQ(c->name, a.canonical);
    }
}

TEST(Catalogue, EveryLogUnitIsFoundByNameAndSymbol) {
    EXPECT_EQ(LOG_UNITS[0].base, 10.0);
    EXPECT_NEAR(LOG_UNITS[1].base, std::pow(10.0, 0.1), 4e-16);
    EXPECT_EQ(LOG_UNITS[2].base, std::numbers::e);
    EXPECT_NEAR(LOG_UNITS[3].base, std::pow(2.0, 1.0 / 12), 4e-16);
    for (const LogUnitDef &u : LOG_UNITS) {
        EXPECT_EQ(search_for_log_unit_name(u.name), &u);
        EXPECT_EQ(search_for_log_unit_name(u.symbol), &u);
    }
    for (const char *miss : {"db", "DB", "Bel", "mB", "st", "", " dB"})
        EXPECT_EQ(search_for_log_unit_name(miss), nullptr) << miss;
}

}  // namespace
}  // namespace modrin
