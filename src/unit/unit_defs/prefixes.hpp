// PREFIXES and UNIT_ALIASES: the texts that lookup accepts around the unit table.
#pragma once

#include <array>
#include <string_view>

namespace modrin {

struct UnitPrefix {
    std::string_view name;
    std::string_view symbol;
    double value;
};

// Binary prefixes first, then SI from largest to smallest; "deca" precedes "deka", so the
// symbol "da" builds names with "deca". "myria" has no symbol of its own, only its name.
// clang-format off
inline constexpr std::array<UnitPrefix, 34> PREFIXES{{
    {"kibi",   "Ki",     1024.0},
    {"mebi",   "Mi",     1048576.0},
    {"gibi",   "Gi",     1073741824.0},
    {"tebi",   "Ti",     1099511627776.0},
    {"pebi",   "Pi",     1125899906842624.0},
    {"exbi",   "Ei",     1.152921504606847e+18},
    {"zebi",   "Zi",     1.1805916207174113e+21},
    {"yobi",   "Yi",     1.2089258196146292e+24},
    {"quetta", "Q",      1e+30},
    {"ronna",  "R",      1e+27},
    {"yotta",  "Y",      1e+24},
    {"zetta",  "Z",      1e+21},
    {"exa",    "E",      1e+18},
    {"peta",   "P",      1000000000000000.0},
    {"tera",   "T",      1000000000000.0},
    {"giga",   "G",      1000000000.0},
    {"mega",   "M",      1000000.0},
    {"myria",  "myria",  10000.0},
    {"kilo",   "k",      1000.0},
    {"hecto",  "h",      100.0},
    {"deca",   "da",     10.0},
    {"deka",   "da",     10.0},
    {"deci",   "d",      0.1},
    {"centi",  "c",      0.01},
    {"milli",  "m",      0.001},
    {"micro",  "u",      1e-06},
    {"nano",   "n",      1e-09},
    {"pico",   "p",      1e-12},
    {"femto",  "f",      1e-15},
    {"atto",   "a",      1e-18},
    {"zepto",  "z",      1e-21},
    {"yocto",  "y",      1e-24},
    {"ronto",  "r",      1e-27},
    {"quecto", "q",      1e-30},
}};
// clang-format on

struct UnitAlias {
    std::string_view alias;
    std::string_view canonical;
};

// Applied once, never chained; "micrometer" and "milliliter" resolve through the prefix step.
// clang-format off
inline constexpr std::array<UnitAlias, 33> UNIT_ALIASES{{
    {"metre",          "meter"},
    {"deg",            "degree (angle)"},
    {"degree",         "degree (angle)"},
    {"da",             "day"},
    {"tropical year",  "year"},
    {"solar year",     "year"},
    {"common year",    "calendar year"},
    {"AU",             "astronomical unit"},
    {"micron",         "micrometer"},
    {"cc",             "milliliter"},
    {"deg C",          "degree Celsius"},
    {"deg F",          "degree Fahrenheit"},
    {"deg c",          "degree Celsius"},
    {"deg f",          "degree Fahrenheit"},
    {"rankine",        "Rankine"},
    {"Celsius",        "degree Celsius"},
    {"Fahrenheit",     "degree Fahrenheit"},
    {"celsius",        "degree Celsius"},
    {"fahrenheit",     "degree Fahrenheit"},
    {"statute mile",   "mile"},
    {"modrin",         "modrin (mass)"},
    {"speed of light", "light speed"},
    {"lightspeed",     "light speed"},
    {"arc minute",     "minute (angle)"},
    {"arc second",     "second (angle)"},
    {"arc degree",     "degree (angle)"},
    {"dalton",         "unified atomic mass unit"},
    {"tonne",          "metric ton"},
    {"teacup",         "gill"},
    {"pole",           "rod"},
    {"perch",          "rod"},
    {"pound mass",     "pound"},
    {"pound-mass",     "pound"},
}};
// clang-format on

}  // namespace modrin
