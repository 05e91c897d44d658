#include "unit/parse.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace modrin {
namespace {

using Entries = std::vector<std::pair<std::string, double>>;  // symbol, exponent

Entries entries_of(const UnitCollection &c) {
    Entries out;
    for (const auto &[u, e] : c.units) out.emplace_back(std::string(u.symbol()), e);
    std::sort(out.begin(), out.end());
    return out;
}

struct ParseCase {
    const char *text;
    Entries expected;  // empty: the parser gives nothing
    const char *why;
};

TEST(FromUnitName, WorkedExamples) {
    const ParseCase cases[] = {
        {"coulomb", {{"C", 1}}, "whole-text lookup by name"},
        {"m/s", {{"m", 1}, {"s", -1}}, ""},
        {"J.s", {{"J", 1}, {"s", 1}}, ""},
        {"J/K", {{"J", 1}, {"K", -1}}, ""},
        {"m/s2", {{"m", 1}, {"s", -2}}, ""},
        {"N/A2", {{"A", -2}, {"N", 1}}, ""},
        {"N.m2/kg2", {{"N", 1}, {"kg", -2}, {"m", 2}}, ""},
        {"1/mol", {{"mol", -1}}, "the token 1 is skipped"},
        {"W/m2.K4", {{"K", -4}, {"W", 1}, {"m", -2}}, "every denominator factor divides"},
        {"J/K.mol", {{"J", 1}, {"K", -1}, {"mol", -1}}, ""},
        {"coulomb/mol", {{"C", 1}, {"mol", -1}}, "names inside expressions"},
        {"farad/m", {{"F", 1}, {"m", -1}}, ""},
        {"1/s", {{"s", -1}}, ""},
        {"/s", {{"s", -1}}, "empty numerator"},
        {"km/hr", {{"hr", -1}, {"km", 1}}, "a prefixed unit is its own entry"},
        {"m.m/s", {{"m", 2}, {"s", -1}}, "equal units merge"},
        {" m/s ", {{"m", 1}, {"s", -1}}, "outer white space is trimmed"},
        {"\u00a0m/s\u3000", {{"m", 1}, {"s", -1}}, "Unicode white space too"},
        {" m", {{"m", 1}}, "whole lookup misses, the trimmed text reads"},
        {"m/", {{"m", 1}}, "an empty denominator"},
        {"m..s", {{"m", 1}, {"s", 1}}, "an empty token is skipped"},
        {"s/1", {{"s", 1}}, ""},
        {"deg C", {{"°C", 1}}, "alias through the whole-text lookup"},
        {"deg C/s", {{"s", -1}, {"°C", 1}}, "alias as a token"},
        {"m9", {{"m", 9}}, "the largest exponent"},
        {"m1", {{"m", 1}}, ""},
        {"fluid ounce (food)", {{"fl oz (food)", 1}}, "spaces and parentheses as a whole"},
        {"decameter.dekameter", {{"dam", 1}, {"dam", 1}}, "units differ by name"},
        {"m0", {}, "m(0) cancels at once"},
        {"m/m", {}, "the units cancel"},
        {"m12", {}, "unit text m1 is not found"},
        {"s-1", {}, "unit text s- is not found"},
        {"m^2", {}, "unit text m^ is not found"},
        {"m²", {}, "a superscript is not an exponent"},
        {"m²2", {}, "unit text m² is not found"},
        {"J / K", {}, "tokens keep their inner spaces"},
        {"m/s/s", {}, "more than one slash"},
        {"1", {}, "1 alone is not the unitless collection"},
        {"", {}, ""},
        {"   ", {}, ""},
        // A factor that does not read fails the whole text instead of vanishing.
        {"m/foo", {}, "unknown unit in the denominator"},
        {"m/sec", {}, "sec is not a unit"},
        {"foo.m", {}, "unknown unit in the numerator"},
        {"m.2", {}, "a lone digit has no unit"},
        {"m2.5", {}, "fractional exponents cannot be written"},
        {"m2x", {}, "exponent text 2x does not read"},
        {"N m", {}, "a space is not a product"},
        {"m*s", {}, "neither is a star"},
    };
    for (const ParseCase &c : cases) {
        std::optional<UnitCollection> r = from_unit_name(c.text);
        if (c.expected.empty()) {
            EXPECT_FALSE(r.has_value()) << '"' << c.text << "\": " << c.why;
        } else {
            ASSERT_TRUE(r.has_value()) << '"' << c.text << "\": " << c.why;
            EXPECT_EQ(entries_of(*r), c.expected) << '"' << c.text << "\": " << c.why;
        }
    }
}

TEST(FromUnitName, FactorAndSignatureFollowTheUnits) {
    UnitCollection c = *from_unit_name("km/hr");
    EXPECT_EQ(c.factor, 1000.0 / 3600.0);
    BaseExponents want{};
    want[slot::meter] = 1;
    want[slot::second] = -1;
    EXPECT_EQ(c.base_exponents, want);

    UnitCollection g = *from_unit_name("N.m2/kg2");
    EXPECT_EQ(g.base_exponents, (BaseExponents{0, 0, 0, 0, -1, 3, 0, -2}));
}

TEST(FromUnitName, MalformedUtf8IsNotFoundRatherThanMisread) {
    for (std::string text : {std::string("\xff"), std::string("m/\xc3"), std::string("\xe2\x80"),
                             std::string(" \xa0m")})
        EXPECT_FALSE(from_unit_name(text).has_value());
}

TEST(TrimUnicodeSpace, RemovesOnlyWhiteSpaceAtTheEnds) {
    EXPECT_EQ(trim_unicode_space("\t m s \n"), "m s");
    EXPECT_EQ(trim_unicode_space("\u2003\u2028x\u205f"), "x");
    EXPECT_EQ(trim_unicode_space("\u200bx"), "\u200bx");  // zero-width space is not white space
    EXPECT_EQ(trim_unicode_space("µ"), "µ");
    EXPECT_EQ(trim_unicode_space(" "), "");
}

}  // namespace
}  // namespace modrin

#include <random>

#include "unit/parse_cache.hpp"

namespace modrin {
namespace {

// Random texts assembled from pieces of the syntax: parsing never fails loudly, the memo agrees
// with the parser, and every accepted collection carries the signature and factor of its units.
TEST(FromUnitName, RandomTextsParseConsistently) {
    const char *pieces[] = {"m", "k", "s", "kg", "/", ".", "1", "2", "9", "0", " ", "deg", "C",
                            "°", "µ", "²", "hr", "mi", "n", "ft", "(", ")", "fl oz", "\xff",
                            "Ki", "da", "y", "metre", "J", "N", "W", "\t", "-", "^", "cc"};
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(0, std::size(pieces) - 1), len(0, 7);
    int accepted = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::string text;
        for (int k = len(rng); k > 0; --k) text += pieces[pick(rng)];
        std::optional<UnitCollection> direct = from_unit_name(text);
        SharedUnits memo = from_unit_name_cached(text);
        ASSERT_EQ(direct.has_value(), static_cast<bool>(memo)) << text;
        if (!direct) continue;
        ++accepted;
        EXPECT_EQ(*direct, memo.get()) << text;
        EXPECT_FALSE(direct->units.empty()) << text;
        UnitCollection rebuilt = from_single_unit_hashmap(direct->units);
        EXPECT_EQ(rebuilt.base_exponents, direct->base_exponents) << text;
        EXPECT_NEAR(rebuilt.factor / direct->factor, 1.0, 1e-12) << text;
    }
    EXPECT_GT(accepted, 500);  // the generator reaches real expressions, not only refusals
}

}  // namespace
}  // namespace modrin
