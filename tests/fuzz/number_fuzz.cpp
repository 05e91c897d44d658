// Any double through number text and rounding: the text reads back as the same double with
// the digits of the shortest round trip; rounding keeps the sign and makes no NaN.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "unit/number_text.hpp"
#include "unit/rounding.hpp"

using namespace modrin;

namespace {

// The significant digits of a decimal text, without sign, point, exponent or outer zeros.
std::string digits_of(std::string_view text) {
    std::string d;
    for (char ch : text.substr(0, text.find('e')))
        if (ch >= '0' && ch <= '9') d += ch;
    const std::size_t first = d.find_first_not_of('0');
    if (first == std::string::npos) return "";
    d.erase(0, first);
    d.erase(d.find_last_not_of('0') + 1);
    return d;
}

void check_text(double x) {
    const std::string text = number_text(x);
    if (std::isnan(x)) {
        FUZZ_CHECK(text == "NaN");
        return;
    }
    if (std::isinf(x)) {
        FUZZ_CHECK(text == (x > 0 ? "inf" : "-inf"));
        return;
    }
    FUZZ_CHECK(text.find_first_not_of("-0123456789.") == std::string::npos);
    FUZZ_CHECK(text.back() != '.' && (x != std::trunc(x) || text.find('.') == std::string::npos));
    double back = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    FUZZ_CHECK(ec == std::errc() && end == text.data() + text.size());
    FUZZ_CHECK(fuzz::same_bits(back, x));
    char shortest[64];
    const auto r = std::to_chars(shortest, shortest + sizeof shortest, x,
                                 std::chars_format::scientific);
    FUZZ_CHECK(digits_of(text) == digits_of(std::string_view(shortest, r.ptr)));
}

void check_rounding(double x, std::int64_t n) {
    for (const double r : {round_sig_figs(x, n), round_to_places(x, n)}) {
        FUZZ_CHECK(std::isnan(r) == std::isnan(x));
        if (std::isnan(x)) continue;
        FUZZ_CHECK(std::signbit(r) == std::signbit(x));
        if (!std::isfinite(x) || x == 0.0) FUZZ_CHECK(fuzz::same_bits(r, x));
        if (std::fabs(x) < 1e307) FUZZ_CHECK(std::isfinite(r));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Bytes in(data, size);
    const auto x = in.raw<double>();
    check_text(x);
    // Small counts are the common case; raw ones reach the ends of the 64-bit range.
    const std::uint8_t mode = in.byte();
    const std::int64_t n = mode < 128 ? static_cast<std::int64_t>(mode % 64) - 32
                                      : in.raw<std::int64_t>();
    check_rounding(x, n);
    return 0;
}
