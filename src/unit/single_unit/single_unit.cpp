#include "unit/single_unit/single_unit.hpp"

namespace modrin {

namespace {

// The texts live beside the record that views them, in one allocation.
struct OwnedUnitDef {
    std::string name;
    std::string symbol;
    UnitDef def;
};

}  // namespace

SingleUnit SingleUnit::from_static(const UnitDef &def) {
    // Aliasing an empty owner gives a handle with no control block: copies touch no counter.
    return SingleUnit(std::shared_ptr<const UnitDef>(std::shared_ptr<const UnitDef>(), &def));
}

SingleUnit SingleUnit::make(std::string name, std::string symbol, double factor, double offset,
                            const BaseExponents &dimensions) {
    auto owned = std::make_shared<OwnedUnitDef>();
    owned->name = std::move(name);
    owned->symbol = std::move(symbol);
    owned->def = UnitDef{owned->name, owned->symbol, offset, factor, dimensions};
    const UnitDef *def = &owned->def;
    return SingleUnit(std::shared_ptr<const UnitDef>(std::move(owned), def));
}

SingleUnit create_from_unit_def_static(const UnitDef &def) { return SingleUnit::from_static(def); }

std::uint64_t hash_text(std::string_view text) {
    // FNV-1a: fixed keys keep every run's iteration and output identical.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::uint64_t SingleUnit::hash() const { return hash_text(name()); }

bool operator==(const SingleUnit &a, const SingleUnit &b) {
    const UnitDef &x = *a.def_;
    const UnitDef &y = *b.def_;
    // The pointer short-cut must not hide a NaN field, which is unequal even to itself.
    if (&x == &y) return x.equals_itself;
    return x.factor == y.factor && x.offset == y.offset && x.name == y.name &&
           x.symbol == y.symbol && x.dimensions == y.dimensions;
}

}  // namespace modrin
