// Unit lookup by name, symbol, alias and prefix, with first-match semantics over the tables.
#pragma once

#include <optional>
#include <string_view>

#include "unit/single_unit/single_unit.hpp"

namespace modrin {

// The row whose name equals the text (base units first, then UNITS in order); with
// `use_aliases`, the text first goes through one alias replacement.
const UnitDef *query_unit_names_internal(std::string_view text, bool use_aliases);

// The row whose symbol equals the text (base units first, then UNITS); no aliases.
const UnitDef *query_unit_symbols_internal(std::string_view text);

// Alias, exact name, exact symbol, then one prefix: a prefix name joins only a unit name or
// alias, a prefix symbol only a unit symbol. Offset units take no prefix.
std::optional<SingleUnit> search_for_unit_name(std::string_view text);

}  // namespace modrin
