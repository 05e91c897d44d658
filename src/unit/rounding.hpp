// Rounding to decimal places and to significant figures, halves away from zero.
#pragma once

#include <cstdint>

namespace modrin {

// How 10^k is formed. The two differ in the last bit once |k| >= 25, and each class keeps its
// own: binary exponentiation for quantities, |k| multiplications in a row for log quantities.
enum class Powers { binary, repeated };

// 10^k; a negative k gives the reciprocal of the positive power.
double pow10_int(std::int64_t k, Powers powers = Powers::binary);

// round(v * 10^n) / 10^n. Never turns a number into NaN: when the scale or the scaled number
// is not finite, a large n keeps v and a very negative n gives a zero with v's sign.
double round_to_places(double v, std::int64_t n, Powers powers = Powers::binary);

// v to n significant figures; zeros (with their sign), infinities and NaN are kept.
double round_sig_figs(double v, std::int64_t n, Powers powers = Powers::binary);

}  // namespace modrin
