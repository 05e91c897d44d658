#include "constant/constants.hpp"

#include <cstddef>

#include "unit/parse_cache.hpp"

namespace modrin {

namespace {

// Names and aliases in one table, each naming its row: a lookup is one pass.
struct Key {
    std::string_view text;
    std::size_t row;
};

constexpr std::size_t row_named(std::string_view name) {
    std::size_t i = 0;
    while (i < CONSTANTS.size() && CONSTANTS[i].name != name) ++i;
    return i;
}

constexpr auto KEYS = [] {
    std::array<Key, CONSTANTS.size() + CONSTANT_ALIASES.size()> keys{};
    std::size_t n = 0;
    for (const ConstantAlias &a : CONSTANT_ALIASES) keys[n++] = {a.alias, row_named(a.canonical)};
    for (std::size_t i = 0; i < CONSTANTS.size(); ++i) keys[n++] = {CONSTANTS[i].name, i};
    return keys;
}();

static_assert([] {
    for (const Key &k : KEYS)
        if (k.text.empty() || k.row >= CONSTANTS.size()) return false;
    return true;
}(), "every alias names a row, and no key is empty");

}  // namespace

const ConstantDef *search_for_constant_name(std::string_view text) {
    if (text.empty()) return nullptr;
    // Length and first byte turn nearly every mismatch away before a comparison call.
    for (const Key &k : KEYS)
        if (k.text.size() == text.size() && k.text[0] == text[0] && k.text == text)
            return &CONSTANTS[k.row];
    return nullptr;
}

const SharedUnits &units_of(const ConstantDef &row) {
    // Never freed: thread-local caches may hold these records past static destruction.
    static const auto *units = [] {
        auto *u = new std::array<SharedUnits, CONSTANTS.size()>();
        for (std::size_t i = 0; i < CONSTANTS.size(); ++i)
            (*u)[i] = from_unit_name_cached(CONSTANTS[i].unit);
        return u;
    }();
    return (*units)[static_cast<std::size_t>(&row - CONSTANTS.data())];
}

}  // namespace modrin
