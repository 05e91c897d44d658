// A bounded, thread-safe memo of unit-expression parses: unit texts recur on every call.
#pragma once

#include <optional>
#include <string_view>

#include "unit/shared_units.hpp"

namespace modrin {

// The same answers as from_unit_name, remembered per text; an empty handle for a text that
// names no units. A remembered text gives the same record every time.
SharedUnits from_unit_name_cached(std::string_view text);

}  // namespace modrin
