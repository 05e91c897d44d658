// Close catalogue spellings of a text that names no unit, for "not found" notes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace modrin {

struct Spelling {
    std::string text;  // what to write instead, e.g. "A" or "kilometer"
    std::string name;  // the unit it names, e.g. "ampere"
};

// At most `limit` units whose name, symbol or alias (alone, or after a prefix the text begins
// with) lies within a small edit distance of the text, or begins with it; nearest first, then
// in table order. Deterministic, and cheap enough for a failure path.
std::vector<Spelling> close_spellings(std::string_view text, std::size_t limit = 3);

// The note for a unit text that does not parse: the factor that failed and its close
// spellings; nothing for a lone word without close spellings, which the message says all about.
std::string explain_unit_not_found(std::string_view text);

}  // namespace modrin
