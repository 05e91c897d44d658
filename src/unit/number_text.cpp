#include "unit/number_text.hpp"

#include <charconv>
#include <cmath>

namespace modrin {

void append_number_text(std::string &out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
        return;
    }
    // Fixed notation with no precision gives the shortest digits that round-trip; the longest
    // such text (the smallest subnormal) has 327 characters.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    out.append(buf, end);
}

std::string number_text(double x) {
    std::string out;
    append_number_text(out, x);
    return out;
}

}  // namespace modrin
