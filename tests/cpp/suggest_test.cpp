#include "unit/unit_defs/suggest.hpp"

#include <gtest/gtest.h>

namespace modrin {
namespace {

struct NoteCase {
    const char *text;
    const char *note;  // "" for no note
};

TEST(ExplainUnitNotFound, NamesTheFailingFactorAndItsCloseSpellings) {
    const NoteCase cases[] = {
        {"kg.m2/s3.Amp", "'Amp' is not a unit; close spellings: 'A' (ampere)"},  // abbreviation
        {"meters", "'meters' is not a unit; close spellings: 'meter'"},           // lone word
        {"m/metres2", "'metres' is not a unit; close spellings: 'metre' (meter)"},  // alias
        {"kilometers", "'kilometers' is not a unit; close spellings: 'kilometer'"},  // prefixed
        // A prefix symbol before a name; a case slip ranks first.
        {"kmeter", "'kmeter' is not a unit; close spellings: 'kilometer', 'meter'"},
        {"KG/s", "'KG' is not a unit; close spellings: 'kg' (kilogram), 'K' (kelvin)"},
        {"J / K", "'J ' is not a unit; close spellings: 'J' (joule)"},  // spaces stay in a factor
        {"k°C", "'k°C' is not a unit; close spellings: '°C' (degree Celsius), 'k°' (kilodegree "
                "(angle)), 'k°R' (kiloRankine)"},  // offset units take no prefix; three at most
        {"kg.flurb", "'flurb' is not a unit"},  // a factor with nothing close
        {"flurb", ""},  // a lone word with nothing close: the message says it all
        {"m/s/s", "a unit expression has at most one '/'"},
        {"m/m", ""},  // every factor reads
    };
    for (const NoteCase &c : cases) EXPECT_EQ(explain_unit_not_found(c.text), c.note) << c.text;
}

TEST(CloseSpellings, KeepsOneSpellingPerUnitUpToTheLimit) {
    const auto all = close_spellings("m1", 10);
    ASSERT_GE(all.size(), 3u);
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j) EXPECT_NE(all[i].name, all[j].name);
    EXPECT_EQ(close_spellings("m1", 2).size(), 2u);
    EXPECT_EQ(close_spellings("m1", 2)[0].name, all[0].name);
}

}  // namespace
}  // namespace modrin
