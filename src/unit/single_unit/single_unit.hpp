// SingleUnit: one unit with its factor, offset and base dimensions, and the eight base units.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace modrin {

inline constexpr std::size_t BASE_DIMENSIONS = 8;

// Exponents over the base dimensions, in the fixed slot order
// USD, ampere, candela, kelvin, kilogram, meter, mole, second.
using BaseExponents = std::array<double, BASE_DIMENSIONS>;

namespace slot {
inline constexpr std::size_t usd = 0, ampere = 1, candela = 2, kelvin = 3, kilogram = 4,
                             meter = 5, mole = 6, second = 7;
}

// A key that equal dimension vectors share (0 and -0 alike), with `sign` -1 the key of the
// negated vector: unequal keys rule out a relation without comparing eight numbers.
constexpr std::uint64_t dimension_key(const BaseExponents &d, double sign) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (double x : d) {
        h ^= std::bit_cast<std::uint64_t>(sign * x + 0.0);
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    return h;
}

// One row of a catalogue table: immutable, never freed. The derived fields are computed once,
// at compile time for the tables, because simplification tests them on every operation.
struct UnitDef {
    std::string_view name;
    std::string_view symbol;
    double offset;
    double factor;
    BaseExponents dimensions;
    std::uint64_t dim_key = 0;
    std::uint64_t negated_dim_key = 0;
    bool equals_itself = true;  // false when a NaN field makes the unit unequal to itself

    constexpr UnitDef() = default;
    constexpr UnitDef(std::string_view name_, std::string_view symbol_, double offset_,
                      double factor_, const BaseExponents &dimensions_)
        : name(name_),
          symbol(symbol_),
          offset(offset_),
          factor(factor_),
          dimensions(dimensions_),
          dim_key(dimension_key(dimensions_, 1.0)),
          negated_dim_key(dimension_key(dimensions_, -1.0)),
          equals_itself(factor_ == factor_ && offset_ == offset_ && dimensions_ == dimensions_) {}
};

// The base units in slot order; names sort bytewise, which is why "USD" comes first.
// clang-format off
inline constexpr std::array<UnitDef, BASE_DIMENSIONS> BASE_UNITS{{
    {"USD",      "USD", 0.0, 1.0, {1, 0, 0, 0, 0, 0, 0, 0}},
    {"ampere",   "A",   0.0, 1.0, {0, 1, 0, 0, 0, 0, 0, 0}},
    {"candela",  "cd",  0.0, 1.0, {0, 0, 1, 0, 0, 0, 0, 0}},
    {"kelvin",   "K",   0.0, 1.0, {0, 0, 0, 1, 0, 0, 0, 0}},
    {"kilogram", "kg",  0.0, 1.0, {0, 0, 0, 0, 1, 0, 0, 0}},
    {"meter",    "m",   0.0, 1.0, {0, 0, 0, 0, 0, 1, 0, 0}},
    {"mole",     "mol", 0.0, 1.0, {0, 0, 0, 0, 0, 0, 1, 0}},
    {"second",   "s",   0.0, 1.0, {0, 0, 0, 0, 0, 0, 0, 1}},
}};
// clang-format on

// A unit value. Copies share one immutable record: catalogue rows are referenced without a
// reference count, prefixed and custom units share a counted record, so a copy never allocates.
class SingleUnit {
public:
    // Refers to a catalogue row, which must outlive every copy (static tables do).
    static SingleUnit from_static(const UnitDef &def);
    // Owns its texts; used for prefixed and custom units.
    static SingleUnit make(std::string name, std::string symbol, double factor, double offset,
                           const BaseExponents &dimensions);

    std::string_view name() const { return def_->name; }
    std::string_view symbol() const { return def_->symbol; }
    double factor() const { return def_->factor; }
    double offset() const { return def_->offset; }
    const BaseExponents &dimensions() const { return def_->dimensions; }
    const UnitDef &def() const { return *def_; }

    // Deterministic (no random keys), from the name only, so equal units hash alike.
    std::uint64_t hash() const;

    // Every field with IEEE equality, so a NaN field makes a unit unequal even to itself.
    friend bool operator==(const SingleUnit &a, const SingleUnit &b);

private:
    explicit SingleUnit(std::shared_ptr<const UnitDef> def) : def_(std::move(def)) {}
    std::shared_ptr<const UnitDef> def_;
};

// A unit equal to the row, name and symbol included.
SingleUnit create_from_unit_def_static(const UnitDef &def);

std::uint64_t hash_text(std::string_view text);

}  // namespace modrin
