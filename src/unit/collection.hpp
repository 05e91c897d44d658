// UnitCollection: a product of units with real exponents, its base signature and its factor.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <utility>

#include "unit/single_unit/single_unit.hpp"
#include "unit/small_vector.hpp"

namespace modrin {

// A map from unit to value in insertion order. Lookups compare whole units (every field), so
// units of one dimension, such as km and m, stay separate entries. A few entries live inline.
template <class V>
class UnitMap {
public:
    struct Entry {
        SingleUnit unit;
        V exponent;
    };

    UnitMap() = default;
    UnitMap(std::initializer_list<Entry> entries) {
        for (const Entry &e : entries) set(e.unit, e.exponent);
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const Entry *begin() const { return entries_.begin(); }
    const Entry *end() const { return entries_.end(); }
    Entry *begin() { return entries_.begin(); }
    Entry *end() { return entries_.end(); }
    const Entry &operator[](std::size_t i) const { return entries_[i]; }

    std::optional<std::size_t> index_of(const SingleUnit &unit) const {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].unit == unit) return i;
        return std::nullopt;
    }
    bool contains(const SingleUnit &unit) const { return index_of(unit).has_value(); }
    std::optional<V> get(const SingleUnit &unit) const {
        if (auto i = index_of(unit)) return entries_[*i].exponent;
        return std::nullopt;
    }
    V &at(std::size_t i) { return entries_[i].exponent; }

    // Inserts or overwrites.
    void set(const SingleUnit &unit, V exponent) {
        if (auto i = index_of(unit))
            entries_[*i].exponent = exponent;
        else
            entries_.emplace_back(unit, exponent);
    }
    void append_new(SingleUnit unit, V exponent) {
        entries_.emplace_back(std::move(unit), exponent);
    }
    void erase_at(std::size_t i) { entries_.erase_at(i); }
    void reserve(std::size_t n) { entries_.reserve(n); }

    // Same entries regardless of order.
    friend bool operator==(const UnitMap &a, const UnitMap &b) {
        if (a.size() != b.size()) return false;
        // Usually the entries are the very same records in the same order.
        bool aligned = true;
        for (std::size_t i = 0; i < a.size() && aligned; ++i)
            aligned = &a[i].unit.def() == &b[i].unit.def() && a[i].exponent == b[i].exponent &&
                      a[i].unit == b[i].unit;
        if (aligned) return true;
        for (const Entry &e : a) {
            auto other = b.get(e.unit);
            if (!other || !(*other == e.exponent)) return false;
        }
        return true;
    }

private:
    SmallVector<Entry, 6> entries_;
};

using UnitExponents = UnitMap<double>;

struct UnitCollection {
    UnitExponents units;
    BaseExponents base_exponents{};
    double factor = 1.0;

    // The unitless collection: no entries, zero exponents, factor 1.
    static UnitCollection unitless() { return {}; }

    friend bool operator==(const UnitCollection &, const UnitCollection &) = default;
};

// The unit with exponent 1.
UnitCollection coerce_unit_to_collection(SingleUnit unit);

// pow(f, e), quick for the exact cases f^1 and 1^e.
double unit_power(double f, double e);

// Keeps the map as given, zero exponents included, and recomputes the signature and factor.
UnitCollection from_single_unit_hashmap(UnitExponents units);

// An entry of b that brings a unit's exponent to exactly 0.0 removes it; zero entries that a
// already holds and b does not mention stay.
UnitCollection product(UnitCollection a, const UnitCollection &b);
UnitCollection quotient(UnitCollection a, const UnitCollection &b);

// Scales every exponent by n; nothing is removed, so n = 0 keeps every unit at exponent 0.
UnitCollection pow(const UnitCollection &c, double n);

}  // namespace modrin
