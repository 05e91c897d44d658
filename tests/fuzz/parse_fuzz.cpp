// Any byte string through the parser and its memo: an accepted text gives a collection whose
// signature and factor agree with its entries recomputed from scratch.
#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "unit/parse.hpp"
#include "unit/parse_cache.hpp"
#include "unit/unit_defs/lookup.hpp"

using namespace modrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::feclearexcept(FE_ALL_EXCEPT);
    const std::optional<UnitCollection> parsed = from_unit_name(text);
    // Over- or underflow on the way leaves the factor at the edge of the double range.
    const bool ranged = std::fetestexcept(FE_OVERFLOW | FE_UNDERFLOW) == 0;

    const SharedUnits memo = from_unit_name_cached(text);
    FUZZ_CHECK(parsed.has_value() == static_cast<bool>(memo));
    if (!parsed) return 0;
    FUZZ_CHECK(memo->units == parsed->units && memo->base_exponents == parsed->base_exponents &&
               fuzz::same_bits(memo->factor, parsed->factor));

    if (std::optional<SingleUnit> whole = search_for_unit_name(text)) {
        FUZZ_CHECK(parsed->units.size() == 1 && parsed->units[0].unit == *whole &&
                   parsed->units[0].exponent == 1.0);
    }

    FUZZ_CHECK(!parsed->units.empty());
    BaseExponents sum{};
    long double factor = 1.0L;
    for (const auto &[unit, e] : parsed->units) {
        FUZZ_CHECK(e != 0.0 && e == std::round(e));
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) sum[i] += unit.dimensions()[i] * e;
        factor *= std::pow(static_cast<long double>(unit.factor()), static_cast<long double>(e));
    }
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        FUZZ_CHECK(sum[i] + 0.0 == parsed->base_exponents[i] + 0.0);
    if (ranged && std::isfinite(parsed->factor)) {
        // Each factor costs a rounding of its power and one of its product or quotient.
        const auto steps = static_cast<long double>(std::count(text.begin(), text.end(), '.') + 2);
        FUZZ_CHECK(std::fabs(parsed->factor - factor) <= 4.5e-16L * steps * std::fabs(factor));
    }
    return 0;
}
