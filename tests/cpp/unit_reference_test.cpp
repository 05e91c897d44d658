#include "unit_reference.hpp"

#include <gtest/gtest.h>

#include <format>
#include <fstream>
#include <sstream>

#include "unit/unit_defs/units.hpp"

namespace modrin {
namespace {

TEST(UnitReference, CommittedFileMatchesTheCompiledTables) {
    std::ifstream file(MODRIN_UNIT_REFERENCE, std::ios::binary);
    ASSERT_TRUE(file) << MODRIN_UNIT_REFERENCE << " is missing: run ./dev docs";
    std::stringstream committed;
    committed << file.rdbuf();
    EXPECT_TRUE(committed.str() == unit_reference()) << "docs/units.md is stale: run ./dev docs";
}

TEST(UnitReference, ListsEveryUnitOnItsOwnRow) {
    const std::string text = unit_reference();
    for (const UnitDef &row : UNITS) {
        const std::string cells = std::format("| `{}` | `{}` |", row.name, row.symbol);
        EXPECT_NE(text.find(cells), std::string::npos) << row.name;
    }
}

}  // namespace
}  // namespace modrin
