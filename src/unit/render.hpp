// The three renderings of a unit collection: plain symbols, LaTeX and descriptive names.
#pragma once

#include <string>

#include "unit/collection.hpp"

namespace modrin {

std::string as_string(const UnitCollection &c);              // "[m/s2]"
std::string as_latex(const UnitCollection &c);               // "\mathrm{\frac{m}{s^2}}"
std::string as_descriptive_string(const UnitCollection &c);  // "[meter/second2]"

}  // namespace modrin
