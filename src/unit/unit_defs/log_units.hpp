// The logarithmic ratio units and their lookup; a catalogue of its own, never in a collection.
#pragma once

#include <array>
#include <string_view>

namespace modrin {

struct LogUnitDef {
    std::string_view name;
    std::string_view symbol;
    double base;  // the ratio one unit stands for
};

// Bases are the doubles nearest to 10, 10^0.1, e and 2^(1/12), entered as stored constants.
// clang-format off
inline constexpr std::array<LogUnitDef, 4> LOG_UNITS{{
    {"bel",      "B",   10.0},
    {"decibel",  "dB",  1.2589254117941673},
    {"neper",    "Np",  2.718281828459045},
    {"semitone", "stn", 1.0594630943592953},
}};
// clang-format on

// Exact, case-sensitive match on name or symbol; no prefixes, no aliases, no trimming.
inline const LogUnitDef *search_for_log_unit_name(std::string_view text) {
    for (const LogUnitDef &row : LOG_UNITS)
        if (row.name == text || row.symbol == text) return &row;
    return nullptr;
}

}  // namespace modrin
