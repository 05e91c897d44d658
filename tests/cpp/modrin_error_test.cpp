#include "error/modrin_error.hpp"

#include <gtest/gtest.h>

namespace modrin {
namespace {

struct MessageCase {
    ModrinError error;
    const char *expected;
};

TEST(ModrinError, MessagesInsertTheirTextsVerbatim) {
    const MessageCase cases[] = {
        {unit_not_found("flurb"), "Unit flurb not found"},
        {unit_not_found("m/foo"), "Unit m/foo not found"},
        {log_unit_not_found("db"), "Logarithmic ratio unit db not found"},
        {constant_not_found("flurb"), "Constant flurb not found"},
        {incompatible_units("[m]", "[s]"), "[m] and [s] are not compatible"},
        {not_coercible_to_unit("[1, 2]"), "[1, 2] cannot be coerced into a unit"},
        {not_coercible_to_number("'x'"), "'x' cannot be coerced into a number"},
        {unit_not_found(""), "Unit  not found"},  // empty text stays empty, no quotes added
    };
    for (const auto &c : cases) EXPECT_EQ(message(c.error), c.expected);
}

}  // namespace
}  // namespace modrin
