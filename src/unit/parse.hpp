// The unit-expression parser: "m/s2", "W/m2.K4", "J/K.mol", "deg C/s".
#pragma once

#include <optional>
#include <string_view>

#include "unit/collection.hpp"

namespace modrin {

// A collection, or nothing when the text is not a unit expression. Syntax: the whole text as
// one unit; otherwise, after trimming white space, at most one "/" between numerator and
// denominator, "." between factors, and an optional one-digit exponent after each unit.
// Empty factors and the factor "1" are skipped; any other factor that does not read makes the
// whole text fail, so a typo never silently drops a unit. A result with no units is nothing.
std::optional<UnitCollection> from_unit_name(std::string_view text);

// The unit text of the first factor that does not read, without its exponent, for a text
// that from_unit_name refuses; nothing when every factor reads (a second "/", or no units
// left). Views into `text`.
std::optional<std::string_view> unreadable_factor(std::string_view text);

// Removes Unicode white space (the White_Space property) from both ends of UTF-8 text.
std::string_view trim_unicode_space(std::string_view text);

}  // namespace modrin
