#include "unit/unit_defs/lookup.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

namespace modrin {

namespace {

constexpr std::size_t ROWS = BASE_UNITS.size() + UNITS.size();

const UnitDef &row_at(std::size_t i) {
    return i < BASE_UNITS.size() ? BASE_UNITS[i] : UNITS[i - BASE_UNITS.size()];
}

struct TextHash {
    std::size_t operator()(std::string_view s) const { return hash_text(s); }
};

template <class V>
using TextMap = std::unordered_map<std::string_view, V, TextHash>;

// Hash indexes over the tables that give exactly the first-match answers of a scan in table
// order: a row is indexed only when no earlier row has the same text. Built once per process
// (thread-safe static initialisation) because every unit text is looked up on every call.
struct Index {
    TextMap<std::size_t> names;
    TextMap<std::size_t> symbols;
    TextMap<std::string_view> aliases;
    // For each first byte, the prefixes whose name or symbol starts with it, in table order,
    // so a text is tried only against prefixes it can begin with.
    std::vector<std::uint8_t> prefixes_by_byte[256];

    Index() {
        for (std::size_t p = 0; p < PREFIXES.size(); ++p) {
            auto n = static_cast<unsigned char>(PREFIXES[p].name[0]);
            auto s = static_cast<unsigned char>(PREFIXES[p].symbol[0]);
            prefixes_by_byte[n].push_back(static_cast<std::uint8_t>(p));
            if (s != n) prefixes_by_byte[s].push_back(static_cast<std::uint8_t>(p));
        }
        for (std::size_t i = 0; i < ROWS; ++i) {
            names.try_emplace(row_at(i).name, i);
            symbols.try_emplace(row_at(i).symbol, i);
        }
        for (const UnitAlias &a : UNIT_ALIASES) aliases.try_emplace(a.alias, a.canonical);
    }
};

const Index &index() {
    static const Index idx;
    return idx;
}

std::string_view apply_alias(std::string_view text) {
    const auto &aliases = index().aliases;
    auto it = aliases.find(text);
    return it == aliases.end() ? text : it->second;
}

constexpr std::size_t MISS = ROWS;

std::size_t find_in(const TextMap<std::size_t> &map, std::string_view text) {
    auto it = map.find(text);
    return it == map.end() ? MISS : it->second;
}

// Prefixed units are interned: at most one record per (prefix, row), built on first use and
// kept for the life of the process, so a prefixed unit is as cheap to copy as a table row.
struct InternedUnit {
    std::string name;
    std::string symbol;
    UnitDef def;
};

std::atomic<const InternedUnit *> interned[PREFIXES.size()][ROWS];

SingleUnit prefixed(std::size_t p, std::size_t r) {
    const UnitDef &row = row_at(r);
    std::atomic<const InternedUnit *> &slot = interned[p][r];
    const InternedUnit *unit = slot.load(std::memory_order_acquire);
    if (unit == nullptr) {
        const UnitPrefix &prefix = PREFIXES[p];
        auto *fresh = new InternedUnit{std::string(prefix.name) + std::string(row.name),
                                       std::string(prefix.symbol) + std::string(row.symbol),
                                       {}};
        fresh->def = UnitDef{fresh->name, fresh->symbol, 0.0, row.factor * prefix.value,
                             row.dimensions};
        const InternedUnit *expected = nullptr;
        if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
            unit = fresh;
        } else {
            delete fresh;  // another thread interned the same unit first
            unit = expected;
        }
    }
    return SingleUnit::from_static(unit->def);
}

}  // namespace

const UnitDef *query_unit_names_internal(std::string_view text, bool use_aliases) {
    std::size_t r = find_in(index().names, use_aliases ? apply_alias(text) : text);
    return r == MISS ? nullptr : &row_at(r);
}

const UnitDef *query_unit_symbols_internal(std::string_view text) {
    std::size_t r = find_in(index().symbols, text);
    return r == MISS ? nullptr : &row_at(r);
}

std::optional<SingleUnit> search_for_unit_name(std::string_view text) {
    const Index &idx = index();
    text = apply_alias(text);
    std::size_t r = find_in(idx.names, text);
    if (r == MISS) r = find_in(idx.symbols, text);
    if (r != MISS) return SingleUnit::from_static(row_at(r));
    if (text.empty()) return std::nullopt;
    for (std::size_t p : idx.prefixes_by_byte[static_cast<unsigned char>(text[0])]) {
        const UnitPrefix &prefix = PREFIXES[p];
        // A text that begins with the prefix's name never tries its symbol as well.
        if (text.starts_with(prefix.name))
            r = find_in(idx.names, apply_alias(text.substr(prefix.name.size())));
        else if (text.starts_with(prefix.symbol))
            r = find_in(idx.symbols, text.substr(prefix.symbol.size()));
        else
            continue;
        if (r == MISS) continue;
        if (row_at(r).offset != 0.0) return std::nullopt;  // no prefixed temperature scales
        return prefixed(p, r);
    }
    return std::nullopt;
}

}  // namespace modrin
