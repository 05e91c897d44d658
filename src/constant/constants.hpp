// CONSTANTS and CONSTANT_ALIASES: physical constants with the unit expression of each.
#pragma once

#include <array>
#include <string_view>

#include "unit/shared_units.hpp"

namespace modrin {

struct ConstantDef {
    std::string_view name;
    double value;           // in coherent SI units
    std::string_view unit;  // a unit expression
};

// The gas and Faraday constants are stored as the double products k * N_A and e * N_A.
// clang-format off
inline constexpr std::array<ConstantDef, 16> CONSTANTS{{
    {"light speed",               299792458.0,        "m/s"},
    {"planck's constant",         6.62607015e-34,     "J.s"},
    {"reduced planck's constant", 1.054571817e-34,    "J.s"},
    {"boltzmann's constant",      1.380649e-23,       "J/K"},
    {"electron charge",           1.602176634e-19,    "coulomb"},
    {"electron mass",             9.1093837015e-31,   "kg"},
    {"proton mass",               1.67262192369e-27,  "kg"},
    {"neutron mass",              1.67492749804e-27,  "kg"},
    {"avogadro's constant",       6.02214076e+23,     "1/mol"},
    {"gravitational constant",    6.6743e-11,         "N.m2/kg2"},
    {"earth gravity",             9.80665,            "m/s2"},
    {"stefan-boltzmann constant", 5.670374419e-08,    "W/m2.K4"},
    {"ideal gas constant",        8.31446261815324,   "J/K.mol"},
    {"faraday constant",          96485.33212331001,  "coulomb/mol"},
    {"vacuum permittivity",       8.8541878188e-12,   "farad/m"},
    {"vacuum permeability",       1.25663706127e-06,  "N/A2"},
}};
// clang-format on

struct ConstantAlias {
    std::string_view alias;
    std::string_view canonical;
};

// clang-format off
inline constexpr std::array<ConstantAlias, 15> CONSTANT_ALIASES{{
    {"c",                  "light speed"},
    {"speed of light",     "light speed"},
    {"lightspeed",         "light speed"},
    {"planck",             "planck's constant"},
    {"boltzmann",          "boltzmann's constant"},
    {"elementary charge",  "electron charge"},
    {"avogadro",           "avogadro's constant"},
    {"avogadro's number",  "avogadro's constant"},
    {"N_A",                "avogadro's constant"},
    {"stefan-boltzmann",   "stefan-boltzmann constant"},
    {"stefan boltzmann",   "stefan-boltzmann constant"},
    {"gas constant",       "ideal gas constant"},
    {"molar gas constant", "ideal gas constant"},
    {"faraday",            "faraday constant"},
    {"faraday's constant", "faraday constant"},
}};
// clang-format on

// One alias step, then an exact name match; a separate catalogue from the units.
const ConstantDef *search_for_constant_name(std::string_view text);

// The row's units, parsed once per process; empty if its expression were not a unit.
const SharedUnits &units_of(const ConstantDef &row);

}  // namespace modrin
