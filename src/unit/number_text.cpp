#include "unit/number_text.hpp"

#include <charconv>
#include <cmath>

namespace modrin {

void append_number_text(std::string &out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
        return;
    }
    if (std::isinf(x)) {
        out += x < 0 ? "-inf" : "inf";
        return;
    }
    // Fixed notation would print a large integral value's exact binary expansion; the shortest
    // round-trip digits come from scientific notation and are then written out positionally.
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    const char *p = buf;
    if (*p == '-') out += *p++;
    char digits[20];
    int n = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    int exp = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exp);
    if (exp >= n - 1) {
        out.append(digits, static_cast<std::size_t>(n));
        out.append(static_cast<std::size_t>(exp - (n - 1)), '0');
    } else if (exp >= 0) {
        out.append(digits, static_cast<std::size_t>(exp + 1));
        out += '.';
        out.append(digits + exp + 1, static_cast<std::size_t>(n - exp - 1));
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-exp - 1), '0');
        out.append(digits, static_cast<std::size_t>(n));
    }
}

std::string number_text(double x) {
    std::string out;
    append_number_text(out, x);
    return out;
}

}  // namespace modrin
