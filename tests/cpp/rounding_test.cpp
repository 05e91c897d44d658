#include "unit/rounding.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace modrin {
namespace {

constexpr std::int64_t MIN = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t MAX = std::numeric_limits<std::int64_t>::max();

struct SigFigCase {
    double value;
    std::int64_t figures;
    double expected;
};

class RoundSigFigs : public testing::TestWithParam<SigFigCase> {};

TEST_P(RoundSigFigs, HoldsForTheWholeRangeOfCounts) {
    const SigFigCase &c = GetParam();
    const double got = round_sig_figs(c.value, c.figures);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(std::signbit(got), std::signbit(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Counts, RoundSigFigs, testing::Values(
    SigFigCase{1234.5, 2, 1200.0},
    SigFigCase{-0.012345, 3, -0.0123},
    SigFigCase{1.5e300, MIN, 0.0},         // n - 1 - m would overflow below the range
    SigFigCase{-1.5e300, MIN + 5, -0.0},
    SigFigCase{5e-324, MAX, 5e-324},       // and above it
    SigFigCase{-2.5e-310, MAX - 3, -2.5e-310},
    SigFigCase{7.0, -(std::int64_t{1} << 40), 0.0}));

}  // namespace
}  // namespace modrin
