// Collections of catalogue and prefixed units with whole and fractional exponents through
// simplification and rendering: the signature stays, no unit appears that was not there,
// the full step moves exponents only from zero towards their simple values, answers repeat,
// and a plain rendering that the parser reads gives the same collection back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.hpp"
#include "unit/parse.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_defs/lookup.hpp"
#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

using namespace modrin;

namespace {

constexpr std::size_t ROWS = BASE_UNITS.size() + UNITS.size();

SingleUnit unit_from(fuzz::Bytes &in) {
    const std::size_t r = (in.byte() | std::size_t{in.byte()} << 8) % ROWS;
    const UnitDef &row = r < BASE_UNITS.size() ? BASE_UNITS[r] : UNITS[r - BASE_UNITS.size()];
    const std::size_t p = in.byte();
    if (p < PREFIXES.size()) {
        // Offset units take no prefix and stay plain.
        if (auto u = search_for_unit_name(std::string(PREFIXES[p].name) + std::string(row.name)))
            return *u;
    }
    return SingleUnit::from_static(row);
}

// Mostly whole exponents from -9 to 9, sometimes halves, thirds and quarters.
double exponent_from(fuzz::Bytes &in) {
    const std::uint8_t b = in.byte();
    const double whole = static_cast<double>(b % 19) - 9.0;
    return b < 200 ? whole : whole / static_cast<double>(2 + b % 3);
}

bool same(const UnitCollection &a, const UnitCollection &b) {
    return a.units == b.units && a.base_exponents == b.base_exponents &&
           fuzz::same_bits(a.factor, b.factor);
}

// The signature is kept and every unit of `out` is one of `in`; with `bounded`, each exponent
// lies between zero and the input's exponent of the same unit. (Opposite dimensions on one
// side may change a sign in the simple step: Hz^-2 s^-3 gives Hz.)
void check_same_units(const UnitCollection &out, const UnitCollection &in, bool bounded) {
    FUZZ_CHECK(out.base_exponents == in.base_exponents);
    for (const auto &[unit, e] : out.units) {
        const std::optional<double> was = in.units.get(unit);
        FUZZ_CHECK(was.has_value());
        FUZZ_CHECK(!bounded || e == 0.0 ||
                   (std::signbit(e) == std::signbit(*was) && std::fabs(e) <= std::fabs(*was)));
    }
}

// A unit that its own symbol names, inside an expression too.
bool reads_back(const SingleUnit &u) {
    const std::string_view s = u.symbol();
    if (s.find_first_of("./") != std::string_view::npos) return false;
    const std::optional<SingleUnit> found = search_for_unit_name(s);
    return found && *found == u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Bytes in(data, size);
    const std::size_t count = 1 + in.byte() % 10;
    UnitExponents map;
    for (std::size_t k = 0; k < count && !in.empty(); ++k) {
        SingleUnit u = unit_from(in);
        map.set(u, exponent_from(in));
    }
    const UnitCollection c = from_single_unit_hashmap(std::move(map));

    const UnitCollection simple = simple_simplify(c);
    check_same_units(simple, c, false);
    FUZZ_CHECK(same(simple_simplify(c), simple));

    const UnitCollection full = simplify(c);
    check_same_units(full, simple, true);
    FUZZ_CHECK(same(simplify(c), full));

    const std::string plain = as_string(c);
    FUZZ_CHECK(plain == as_string(c) && as_latex(c) == as_latex(c) &&
               as_descriptive_string(c) == as_descriptive_string(c));
    FUZZ_CHECK(plain.size() >= 2 && plain.front() == '[' && plain.back() == ']');

    bool readable = !c.units.empty();
    for (const auto &[unit, e] : c.units)
        readable = readable && e == std::round(e) && e != 0.0 && std::fabs(e) <= 9.0 &&
                   reads_back(unit);
    if (readable) {
        if (std::optional<UnitCollection> back =
                from_unit_name(std::string_view(plain).substr(1, plain.size() - 2))) {
            FUZZ_CHECK(back->units == c.units && back->base_exponents == c.base_exponents);
        }
    }
    return 0;
}
