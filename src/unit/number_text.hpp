// Number text: the shortest decimal that reads back as the same double, never in exponent form.
#pragma once

#include <string>

namespace modrin {

// "2", "0.5", "0.0000001", "-0", "NaN", "inf", "-inf".
std::string number_text(double x);

// Appends the same text to out.
void append_number_text(std::string &out, double x);

}  // namespace modrin
