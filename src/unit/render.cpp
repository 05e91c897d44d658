#include "unit/render.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "unit/number_text.hpp"

namespace modrin {

namespace {

struct Style {
    bool names;  // unit names instead of symbols
    std::string_view marker, separator;
    std::string_view open, close;            // single-part frame
    std::string_view recip_open, recip_close;  // reciprocal frame
    std::string_view frac_open, frac_mid, frac_close;
};

constexpr Style PLAIN{false, "", ".", "[", "]", "[1/", "]", "[", "/", "]"};
constexpr Style DESCRIPTIVE{true, "", ".", "[", "]", "[1/", "]", "[", "/", "]"};
constexpr Style LATEX{false,         "^",  "~", "\\mathrm{", "}", "\\mathrm{\\frac{1}{", "}}",
                      "\\mathrm{\\frac{", "}{", "}}"};

// Items are small, so a sorted vector of strings is fine; the order is bytewise.
std::string join_sorted(SmallVector<std::string, 6> &items, std::string_view sep) {
    std::sort(items.begin(), items.end());
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += sep;
        out += items[i];
    }
    return out;
}

std::string render(const UnitCollection &c, const Style &style) {
    SmallVector<std::string, 6> num, den;
    for (const auto &[unit, e] : c.units) {
        // Zero and NaN exponents belong to neither side.
        if (!(e > 0.0) && !(e < 0.0)) continue;
        std::string item(style.names ? unit.name() : unit.symbol());
        double magnitude = std::fabs(e);
        if (magnitude != 1.0) {
            item += style.marker;
            append_number_text(item, magnitude);
        }
        (e > 0.0 ? num : den).push_back(std::move(item));
    }
    std::string n = join_sorted(num, style.separator);
    std::string d = join_sorted(den, style.separator);
    std::string out;
    if (d.empty()) {
        out.append(style.open).append(n).append(style.close);
    } else if (n.empty()) {
        out.append(style.recip_open).append(d).append(style.recip_close);
    } else {
        out.append(style.frac_open).append(n).append(style.frac_mid).append(d).append(
            style.frac_close);
    }
    return out;
}

}  // namespace

std::string as_string(const UnitCollection &c) { return render(c, PLAIN); }
std::string as_latex(const UnitCollection &c) { return render(c, LATEX); }
std::string as_descriptive_string(const UnitCollection &c) { return render(c, DESCRIPTIVE); }

}  // namespace modrin
