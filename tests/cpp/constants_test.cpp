#include "constant/constants.hpp"

#include <gtest/gtest.h>

#include <numbers>

#include "unit/parse.hpp"
#include "unit/render.hpp"

namespace modrin {
namespace {

struct ConstantCase {
    const char *text;
    double value;
    const char *plain;
};

TEST(Constants, NamesAndAliasesGiveValueAndUnit) {
    const ConstantCase cases[] = {
        {"c", 299792458.0, "[m/s]"},
        {"speed of light", 299792458.0, "[m/s]"},
        {"lightspeed", 299792458.0, "[m/s]"},
        {"light speed", 299792458.0, "[m/s]"},
        {"N_A", 6.02214076e+23, "[1/mol]"},
        {"avogadro", 6.02214076e+23, "[1/mol]"},
        {"avogadro's number", 6.02214076e+23, "[1/mol]"},
        {"stefan-boltzmann", 5.670374419e-08, "[W/K4.m2]"},
        {"stefan boltzmann", 5.670374419e-08, "[W/K4.m2]"},
        {"gravitational constant", 6.6743e-11, "[N.m2/kg2]"},
        {"earth gravity", 9.80665, "[m/s2]"},
        {"planck", 6.62607015e-34, "[J.s]"},
        {"elementary charge", 1.602176634e-19, "[C]"},
        {"faraday's constant", 96485.33212331001, "[C/mol]"},
        {"vacuum permittivity", 8.8541878188e-12, "[F/m]"},
        {"vacuum permeability", 1.25663706127e-06, "[N/A2]"},
        {"molar gas constant", 8.31446261815324, "[J/K.mol]"},
    };
    for (const ConstantCase &c : cases) {
        const ConstantDef *row = search_for_constant_name(c.text);
        ASSERT_NE(row, nullptr) << c.text;
        EXPECT_EQ(row->value, c.value) << c.text;
        std::optional<UnitCollection> unit = from_unit_name(row->unit);
        ASSERT_TRUE(unit.has_value()) << row->unit;
        EXPECT_EQ(as_string(*unit), c.plain) << c.text;
    }
}

TEST(Constants, MissesAreExact) {
    for (const char *miss : {"Planck", "planck's constant ", "electron", "G", "h", "", "C"})
        EXPECT_EQ(search_for_constant_name(miss), nullptr) << miss;
}

TEST(Constants, DerivedValuesAreTheStoredProducts) {
    auto value = [](const char *n) { return search_for_constant_name(n)->value; };
    EXPECT_EQ(value("ideal gas constant"), value("boltzmann") * value("avogadro"));
    EXPECT_EQ(value("faraday"), value("electron charge") * value("avogadro"));
    EXPECT_NEAR(value("reduced planck's constant") / (value("planck") / (2 * std::numbers::pi)),
                1.0, 1e-9);
    // mu0 * eps0 * c^2 = 1 to the precision of the published values.
    double c = value("c");
    EXPECT_NEAR(value("vacuum permeability") * value("vacuum permittivity") * c * c, 1.0, 1e-9);
}

TEST(Constants, EarthGravityIsCompatibleWithKilogramForcePerKilogram) {
    UnitCollection g = *from_unit_name(search_for_constant_name("earth gravity")->unit);
    UnitCollection kgf_per_kg = *from_unit_name("kgf/kg");
    EXPECT_EQ(g.base_exponents, kgf_per_kg.base_exponents);
}

}  // namespace
}  // namespace modrin
