#include "unit/mapping_search.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "unit/parse.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace modrin {
namespace {

SingleUnit u(const char *text) { return *search_for_unit_name(text); }
BaseExponents dims(const char *text) { return from_unit_name(text)->base_exponents; }

TEST(MappingSearch, NothingWhenNoUnitCanMove) {
    EXPECT_FALSE(simplify_mapping_algorithm({}, {}, dims("m")).has_value());
    ExponentAssignment at_full{{u("N"), 1}, {u("s"), 2}};
    EXPECT_FALSE(simplify_mapping_algorithm(at_full, at_full, dims("m")).has_value());
}

TEST(MappingSearch, OneStepSolutionOfTheFirstUnit) {
    ExponentAssignment full{{u("kg"), 1}, {u("J"), 1}, {u("N"), -1}, {u("m"), -1}};
    ExponentAssignment start{{u("kg"), 0}, {u("J"), 0}, {u("N"), 0}, {u("m"), 0}};
    auto r = simplify_mapping_algorithm(full, start, dims("kg"));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, (ExponentAssignment{{u("kg"), 1}, {u("J"), 0}, {u("N"), 0}, {u("m"), 0}}));
}

TEST(MappingSearch, WalksToTheFullExponentWhenNeeded) {
    ExponentAssignment full{{u("N"), 1}, {u("s"), 2}};
    ExponentAssignment start{{u("N"), 1}, {u("s"), 0}};
    auto r = simplify_mapping_algorithm(full, start, dims("kg.m"));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, full);

    ExponentAssignment full_w{{u("W"), 1}, {u("s"), 1}, {u("m"), -1}};
    ExponentAssignment start_w{{u("W"), 1}, {u("s"), 0}, {u("m"), 0}};
    r = simplify_mapping_algorithm(full_w, start_w, dims("kg.m/s2"));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, full_w);
}

TEST(MappingSearch, ExponentsNeverPassTheirFullValue) {
    // m may go from 0 to -2 only; the target needs -3, out of reach.
    ExponentAssignment full{{u("m"), -2}};
    EXPECT_FALSE(simplify_mapping_algorithm(full, {{u("m"), 0}}, dims("1/m3")).has_value());
    // Moving towards a negative value goes down only: from -3 nothing is reachable.
    EXPECT_FALSE(simplify_mapping_algorithm(full, {{u("m"), -3}}, dims("1/m2")).has_value());
    // From the positive side it may cross zero on its way down.
    auto r = simplify_mapping_algorithm(full, {{u("m"), 1}}, dims("1/m"));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->get(u("m")), -1);
}

TEST(MappingSearch, FewestStepsWinOverEarlierUnits) {
    // km then m: km needs two steps (km2 = m2 dimension), J/N one step is m... target m2.
    ExponentAssignment full{{u("km"), 2}, {u("J"), 2}, {u("N"), -2}};
    ExponentAssignment start{{u("km"), 0}, {u("J"), 0}, {u("N"), 0}};
    auto r = simplify_mapping_algorithm(full, start, dims("m2"));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, (ExponentAssignment{{u("km"), 2}, {u("J"), 0}, {u("N"), 0}}));
}

TEST(MappingSearch, LargeExponentsStayWithinTheWorkBound) {
    ExponentAssignment full{{u("J"), 2000000000}, {u("N"), -2000000000}, {u("m"), -2000000000}};
    ExponentAssignment start{{u("J"), 0}, {u("N"), 0}, {u("m"), 0}};
    EXPECT_FALSE(simplify_mapping_algorithm(full, start, dims("kg")).has_value());
}

}  // namespace
}  // namespace modrin

namespace modrin {
namespace {

// Up to `units` distinct units from the pool with exponents within +-`reach`, some already at
// their full value; targets: the full assignment's own signature and a random unit's.
struct Problem {
    ExponentAssignment full, start;
    std::array<BaseExponents, 2> targets;
};

template <std::size_t N>
Problem random_problem(std::mt19937 &rng, const char *const (&pool)[N], int units, int reach) {
    std::uniform_int_distribution<int> pick(0, N - 1), len(1, units), exp(-reach, reach),
        coin(0, 2);
    Problem p;
    for (int k = len(rng); k > 0; --k) {
        SingleUnit unit = u(pool[pick(rng)]);
        if (p.full.contains(unit)) continue;
        int e = exp(rng);
        p.full.append_new(unit, e);
        p.start.append_new(unit, coin(rng) == 0 ? e : 0);
    }
    BaseExponents own{};
    for (const auto &[unit, e] : p.full)
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) own[i] += unit.dimensions()[i] * e;
    p.targets = {own, dims(pool[pick(rng)])};
    return p;
}

TEST(MappingSearch, EnumerationAndLayersGiveTheSameAnswers) {
    const char *pool[] = {"m", "km", "s", "kg", "N", "J", "W", "Pa", "Hz", "L", "Wh", "A", "V"};
    std::mt19937 rng(3);
    int compared = 0, found = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const Problem p = random_problem(rng, pool, 5, 3);
        const ExponentAssignment &full = p.full, &start = p.start;
        for (const BaseExponents &target : p.targets) {
            auto a = detail::search_by_enumeration(full, start, target);
            auto b = detail::search_by_layers(full, start, target);
            ASSERT_EQ(a.has_value(), b.has_value());
            if (a) {
                EXPECT_EQ(*a, *b);
                // Same order of units as well as the same exponents.
                for (std::size_t k = 0; k < a->size(); ++k) EXPECT_EQ((*a)[k].unit, (*b)[k].unit);
                EXPECT_TRUE(check_satisfies_base_units(*a, target));
                ++found;
            }
            ++compared;
        }
    }
    EXPECT_GT(found, compared / 3);  // the table exercises real solutions, not only misses
}

TEST(MappingSearch, TheFastSearchGivesTheReferenceAnswers) {
    const char *pool[] = {"m", "km", "s", "hr", "kg", "g", "N", "J", "W", "Pa", "Hz", "L",
                          "Wh", "A", "V", "C", "ohm", "T", "mol", "K", "cd", "USD"};
    std::mt19937 rng(11);
    int found = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        const Problem p = random_problem(rng, pool, 9, 6);
        const ExponentAssignment &full = p.full, &start = p.start;
        for (const BaseExponents &target : p.targets) {
            auto fast = simplify_mapping_algorithm(full, start, target);
            auto slow = detail::search_reference(full, start, target);
            if (!slow) {
                // Past the reference's work bound only a correct answer may differ.
                if (fast) {
                    EXPECT_TRUE(check_satisfies_base_units(*fast, target)) << trial;
                }
                continue;
            }
            ASSERT_TRUE(fast.has_value()) << trial;
            EXPECT_EQ(*fast, *slow) << trial;
            for (std::size_t k = 0; k < fast->size() && k < slow->size(); ++k)
                EXPECT_EQ((*fast)[k].unit, (*slow)[k].unit) << trial;
            ++found;
        }
    }
    EXPECT_GT(found, 1000);
}

}  // namespace
}  // namespace modrin
