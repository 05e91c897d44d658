// The unit reference, docs/units.md, written from the tables compiled into modrin.
#pragma once

#include <string>

namespace modrin {

// Markdown listing every base unit, unit, prefix, alias, constant and logarithmic unit.
std::string unit_reference();

}  // namespace modrin
