#include "unit/unit_defs/lookup.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace modrin {
namespace {

struct Hit {
    const char *text;
    const char *name;
    const char *symbol;
    double factor;
};

TEST(SearchForUnitName, ResolvesNamesSymbolsAliasesAndPrefixes) {
    const Hit hits[] = {
        {"meter", "meter", "m", 1.0},
        {"metre", "meter", "m", 1.0},  // alias replaced before the unit is built
        {"deg", "degree (angle)", "°", 0.017453292519943295},
        {"degree", "degree (angle)", "°", 0.017453292519943295},
        {"da", "day", "d", 86400.0},  // the alias hides the bare prefix symbol
        {"d", "day", "d", 86400.0},
        {"darcy", "darcy", "d", 9.869232667160128e-13},
        {"kg", "kilogram", "kg", 1.0},  // the base unit, not kilo + gram
        {"kilogram", "kilogram", "kg", 1.0},
        {"mg", "milligram", "mg", 1e-06},
        {"km", "kilometer", "km", 1000.0},
        {"kilometre", "kilometer", "km", 1000.0},  // prefix name + alias
        {"kkg", "kilokilogram", "kkg", 1000.0},    // kilo + the base symbol
        {"min", "minute", "min", 60.0},            // exact symbol before milli + "in"
        {"ft", "foot", "ft", 0.3048},
        {"ct", "carat", "ct", 0.0002},
        {"cd", "candela", "cd", 1.0},
        {"nmi", "nautical mile", "nmi", 1852.0},
        {"Gy", "gray", "Gy", 1.0},
        {"PS", "horsepower (metric)", "PS", 735.49875},
        {"pt", "pint", "pt", 0.00047317647299999996},
        {"pc", "parsec", "pc", 3.085677581491367e+16},
        {"yd", "yard", "yd", 0.9144},
        {"dam", "decameter", "dam", 10.0},  // deca before deka
        {"dekameter", "dekameter", "dam", 10.0},
        {"decameter", "decameter", "dam", 10.0},
        {"mm", "millimeter", "mm", 0.001},
        {"Mm", "megameter", "Mm", 1000000.0},
        {"mmol", "millimole", "mmol", 0.001},
        {"ms", "millisecond", "ms", 0.001},
        {"mHg", "meter of mercury", "mHg", 133322.387415},
        {"Kim", "kibimeter", "Kim", 1024.0},
        {"Gis", "gibisecond", "Gis", 1073741824.0},
        {"Kis", "kibisecond", "Kis", 1024.0},
        {"mK", "millikelvin", "mK", 0.001},
        {"m°R", "milliRankine", "m°R", 0.0005555555555555556},
        {"mL", "milliliter", "mL", 1e-06},
        {"cc", "milliliter", "mL", 1e-06},
        {"micron", "micrometer", "um", 1e-06},
        {"ky", "kiloyear", "ky", 31556925974.678402},
        {"myriameter", "myriameter", "myriam", 10000.0},
        {"millidegree (angle)", "millidegree (angle)", "m°", 1.7453292519943296e-05},
        {"deg C", "degree Celsius", "°C", 1.0},
        {"fl oz (imp)", "fluid ounce (imperial)", "fl oz (imp)", 2.8413062499999998e-05},
        {"Ω", "ohm", "Ω", 1.0},
        {"kΩ", "kiloohm", "kΩ", 1000.0},
        {"psi", "pounds per square inch", "psi", 6894.757293168361},
    };
    for (const Hit &h : hits) {
        std::optional<SingleUnit> u = search_for_unit_name(h.text);
        ASSERT_TRUE(u.has_value()) << h.text;
        EXPECT_EQ(u->name(), h.name) << h.text;
        EXPECT_EQ(u->symbol(), h.symbol) << h.text;
        EXPECT_EQ(u->factor(), h.factor) << h.text;
    }
}

TEST(SearchForUnitName, MissesWhatTheRulesExclude) {
    const char *misses[] = {
        "", "Meter", "METER", " meter", "meter ",
        "kilokilometer", "kkm",            // one prefix at most
        "kmeter", "kilom",                 // prefix name with symbol and vice versa
        "Km",                              // kibi + "m" needs the symbol "Ki"
        "kilocelsius", "m°C", "k°F",       // offset units take no prefix
        "millidegree Celsius",
        "dadm", "h", "l", "ml",            // no such symbols
        "N m", "m/s",                      // expressions are not single units
        "kilo", "k",                       // a prefix alone
    };
    for (const char *m : misses) EXPECT_FALSE(search_for_unit_name(m).has_value()) << m;
}

TEST(SearchForUnitName, PrefixedUnitsAreEqualAcrossLookupsAndThreads) {
    std::optional<SingleUnit> first = search_for_unit_name("Tmol");
    std::vector<std::thread> threads;
    std::vector<std::optional<SingleUnit>> seen(8);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = search_for_unit_name("Tmol"); });
    for (auto &t : threads) t.join();
    for (const auto &u : seen) {
        ASSERT_TRUE(u.has_value());
        EXPECT_EQ(*u, *first);
        EXPECT_EQ(&u->def(), &first->def());  // interned: one record
    }
}

TEST(QueryUnitNames, AliasStepOnlyWhenAsked) {
    EXPECT_EQ(query_unit_names_internal("metre", false), nullptr);
    ASSERT_NE(query_unit_names_internal("metre", true), nullptr);
    EXPECT_EQ(query_unit_names_internal("metre", true)->name, "meter");
    EXPECT_EQ(query_unit_names_internal("m", true), nullptr);  // names only
    EXPECT_EQ(query_unit_symbols_internal("metre"), nullptr);
}

}  // namespace
}  // namespace modrin
