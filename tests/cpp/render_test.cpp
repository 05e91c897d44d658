#include "unit/render.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "unit/base_units.hpp"
#include "unit/number_text.hpp"
#include "unit/parse.hpp"

namespace modrin {
namespace {

UnitCollection parse(const char *text) { return *from_unit_name(text); }

struct RenderCase {
    UnitCollection c;
    const char *plain, *descriptive, *latex;
};

TEST(Render, WorkedExamplesInAllThreeForms) {
    const RenderCase cases[] = {
        {parse("m/s"), "[m/s]", "[meter/second]", "\\mathrm{\\frac{m}{s}}"},
        {parse("m/s2"), "[m/s2]", "[meter/second2]", "\\mathrm{\\frac{m}{s^2}}"},
        {parse("J.s"), "[J.s]", "[joule.second]", "\\mathrm{J~s}"},
        {parse("J/K.mol"), "[J/K.mol]", "[joule/kelvin.mole]", "\\mathrm{\\frac{J}{K~mol}}"},
        {parse("W/m2.K4"), "[W/K4.m2]", "[watt/kelvin4.meter2]",
         "\\mathrm{\\frac{W}{K^4~m^2}}"},
        {parse("N.m2/kg2"), "[N.m2/kg2]", "[meter2.newton/kilogram2]",
         "\\mathrm{\\frac{N~m^2}{kg^2}}"},
        {parse("1/s"), "[1/s]", "[1/second]", "\\mathrm{\\frac{1}{s}}"},
        {parse("km/hr"), "[km/hr]", "[kilometer/hour]", "\\mathrm{\\frac{km}{hr}}"},
        {parse("degree Celsius"), "[°C]", "[degree Celsius]", "\\mathrm{°C}"},
        {pow(parse("m"), 0.5), "[m0.5]", "[meter0.5]", "\\mathrm{m^0.5}"},
        {pow(parse("s"), -1.5), "[1/s1.5]", "[1/second1.5]", "\\mathrm{\\frac{1}{s^1.5}}"},
        {UnitCollection::unitless(), "[]", "[]", "\\mathrm{}"},
        {pow(parse("m/s"), 0.0), "[]", "[]", "\\mathrm{}"},
        {get_base_units(UnitCollection::unitless()), "[]", "[]", "\\mathrm{}"},
        {get_base_units(parse("N")), "[kg.m/s2]", "[kilogram.meter/second2]",
         "\\mathrm{\\frac{kg~m}{s^2}}"},
        {parse("decameter.dekameter"), "[dam.dam]", "[decameter.dekameter]", "\\mathrm{dam~dam}"},
        {parse("Ω.m/K"), "[m.Ω/K]", "[meter.ohm/kelvin]", "\\mathrm{\\frac{m~Ω}{K}}"},
        {pow(parse("m"), 1.0000000000000002), "[m1.0000000000000002]",
         "[meter1.0000000000000002]", "\\mathrm{m^1.0000000000000002}"},
        {pow(parse("m"), 1e-7), "[m0.0000001]", "[meter0.0000001]", "\\mathrm{m^0.0000001}"},
        {pow(parse("m"), std::numeric_limits<double>::quiet_NaN()), "[]", "[]", "\\mathrm{}"},
        {pow(parse("m/s"), std::numeric_limits<double>::infinity()), "[minf/sinf]",
         "[meterinf/secondinf]", "\\mathrm{\\frac{m^inf}{s^inf}}"},
    };
    for (const RenderCase &c : cases) {
        EXPECT_EQ(as_string(c.c), c.plain);
        EXPECT_EQ(as_descriptive_string(c.c), c.descriptive) << c.plain;
        EXPECT_EQ(as_latex(c.c), c.latex) << c.plain;
    }
}

struct NumberCase {
    double x;
    const char *text;
};

TEST(NumberText, ShortestRoundTripInPositionalForm) {
    const NumberCase cases[] = {
        {2.0, "2"},
        {10.0, "10"},
        {0.5, "0.5"},
        {1.5, "1.5"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e-7, "0.0000001"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000"},
        {1e22, "10000000000000000000000"},
        {6.02214076e23, "602214076000000000000000"},
        {3.085677581491367e16, "30856775814913670"},
        {1.2345678901234568e20, "123456789012345680000"},
        {0x1p70, "1180591620717411300000"},
        {123.456, "123.456"},
        {-0.00123, "-0.00123"},
        {4.6, "4.6"},
        {-0.0, "-0"},
        {0.0, "0"},
        {-2.5, "-2.5"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {-std::numeric_limits<double>::quiet_NaN(), "NaN"},
    };
    for (const NumberCase &c : cases) EXPECT_EQ(number_text(c.x), c.text);
    EXPECT_EQ(number_text(std::numeric_limits<double>::max()),
              "17976931348623157" + std::string(292, '0'));
}

TEST(NumberText, ExtremesRoundTrip) {
    for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                     -std::numeric_limits<double>::min(), 6.02214076e+23, 1.602176634e-19}) {
        std::string t = number_text(x);
        EXPECT_EQ(t.find('e'), std::string::npos) << t;
        EXPECT_EQ(std::strtod(t.c_str(), nullptr), x) << t;
    }
}

}  // namespace
}  // namespace modrin
