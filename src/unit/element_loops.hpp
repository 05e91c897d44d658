// Element loops over strided doubles: conversion, fused sums and comparisons, products,
// quotients and powers, each element given exactly the bits the scalar algebra gives it.
//
// A call plans once from the operands' units (the result units, the conversions, or the
// refusal that the scalar algebra would give) and then runs the plan over its elements. The
// operands come as NumPy hands them to a ufunc inner loop: a first element and a byte step,
// the element count shared.
#pragma once

#include <cstddef>
#include <cstdint>

#include "error/modrin_error.hpp"
#include "unit/quantity.hpp"
#include "unit/shared_units.hpp"

namespace modrin {

// Elements `step` bytes apart from `data`. A step of 0 repeats one element, as NumPy passes a
// broadcast operand; a negative step walks backwards. No alignment is assumed.
struct Input {
    const char *data;
    std::ptrdiff_t step;
};
// An output may be the very memory of an input, element for element (in-place operators);
// any other overlap with an input is the caller's to avoid. Every element is computed from
// the inputs as they were: a reduction, whose output is its first input with step 0, is not
// such a loop.
struct Output {
    char *data;
    std::ptrdiff_t step;
};

// A conversion of every element from one collection into another. The conversion reads the
// two collections (for the rare element whose scale leaves the double range on the way): the
// plan holds their records.
struct ConversionPlan {
    Conversion conversion;
    SharedUnits from, to;
};

// The plan of convert(v, from, to), or its refusal.
Result<ConversionPlan> plan_conversion(const SharedUnits &from, const SharedUnits &to);

// What happens to each number before it is converted: unary minus and plus normalise the
// negated or unchanged number, abs keeps the units (a plan into the same units).
enum class Sign : std::uint8_t { keep, negate, absolute };

// out[i] = convert(sign(x[i]), from, to).
void convert_elements(const ConversionPlan &plan, std::size_t n, Input x, Output out,
                      Sign sign = Sign::keep);

enum class Comparison : std::uint8_t { lt, le, eq, ne, gt, ge };

// out[i] (one byte, 0 or 1) = x[i] op y[i], with y[i] converted by `plan` into x's units:
// a quantity compared with another, the plan being plan_conversion(y units, x units).
void compare_elements(const ConversionPlan &plan, Comparison op, std::size_t n, Input x,
                      Input y, Output out);

// s op o for every element (o op s when reflected), as apply(op, s[i], su, o[i], ou,
// reflected) gives it: for sums the other operand is converted into self's units (`pre`),
// and the raw result is normalised into `units` (`post`). The plan holds every record the two
// conversions read.
struct OperationPlan {
    Op op = Op::add;
    bool reflected = false;
    Conversion pre, post;
    SharedUnits units;
    SharedUnits self, other, raw;
};

// For add, sub, mul and div; powers have their own plan, their units depending on the
// exponent's number.
Result<OperationPlan> plan_operation(Op op, const SharedUnits &su, const SharedUnits &ou,
                                     bool reflected);

// out[i] = apply(op, s[i], su, o[i], ou, reflected).value
void operate_elements(const OperationPlan &plan, std::size_t n, Input s, Input o, Output out);

// base ** exponent with one exponent for every element, as apply(Op::pow, b, base, exponent,
// exponent_units, false) gives it. `exponent` is that number in exponent_units.
struct PowerPlan {
    double exponent = 1.0;  // as a plain number
    Conversion post;
    SharedUnits units, raw;
};

Result<PowerPlan> plan_power(const SharedUnits &base, double exponent,
                             const SharedUnits &exponent_units);

// out[i] = apply(Op::pow, b[i], base, exponent, exponent_units, false).value
void power_elements(const PowerPlan &plan, std::size_t n, Input b, Output out);

// out[i] = post(sqrt(b[i])): the units of a power by 0.5 with the correctly rounded root, as
// NumPy's sqrt gives it (pow(x, 0.5) may differ in the last bit).
void root_elements(const PowerPlan &plan, std::size_t n, Input b, Output out);

// out[i] = power_of(b[i], e[i]): numbers without units raised to exponents of their own,
// which need no conversion afterwards.
void plain_power_elements(std::size_t n, Input b, Input e, Output out);

// out[i] = f(x[i]) for the functions Modrin applies to numbers without units, with the C
// library's results (NumPy's own vector forms may differ from them in the last bit).
enum class Elementary : std::uint8_t { exp, log, log10 };
void elementary_elements(Elementary f, std::size_t n, Input x, Output out);

// The loops are compiled for AVX-512, AVX2 with FMA and the baseline on x86-64, and run in the
// widest form the processor has; tests cap the form to run every one of them.
enum class LoopForm : std::uint8_t { baseline, avx2, avx512 };
void use_loop_form(LoopForm widest);

}  // namespace modrin
