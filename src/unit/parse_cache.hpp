// A bounded, thread-safe memo of unit-expression parses: unit texts recur on every call.
#pragma once

#include <optional>
#include <string_view>

#include "unit/collection.hpp"

namespace modrin {

// The same answers as from_unit_name, remembered per text.
std::optional<UnitCollection> from_unit_name_cached(std::string_view text);

}  // namespace modrin
