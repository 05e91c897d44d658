// The parts the element loops share: the conversion steps, the block runner and the vector
// forms. The loops are compiled in several files, so that the many instantiations of the
// operators build in parallel; nothing outside them includes this.
#pragma once

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "unit/element_loops.hpp"

namespace modrin::loops {

// Elements run in blocks of this size; a block with an element for the scalar path is redone
// alone.
inline constexpr std::size_t BLOCK = 512;
// Operands that lie in place run in spans of this size (see run_blocks).
inline constexpr std::size_t SPAN = 64 * BLOCK;

inline bool is_normal(double x) {
    const double a = std::fabs(x);
    return (a >= DBL_MIN) & (a <= DBL_MAX);
}

// ---- conversion steps ------------------------------------------------------------------------
// Conversion::apply split into its plain formula for every element and a flag raised by any
// element that apply might treat otherwise; a flagged block is redone with apply itself.
// Flags are bit masks, which vectorise where a flag of type bool may not.

using Flag = std::uint64_t;

// Raises the flag unless |v| lies in [low, high) or v is zero or NaN.
inline void flag_outside(double v, double low, double high, Flag &flag) {
    // The magnitude one step down: zero becomes NaN, which no comparison flags.
    const double a = std::fabs(v);
    const double below = std::bit_cast<double>(std::bit_cast<Flag>(a) - 1);
    flag |= -static_cast<Flag>((a >= high) | (below < low));  // the mask a compare gives
}

struct Identity {
    double operator()(double v, Flag &) const { return v; }
};

// Zero offsets and positive normal factors. apply keeps the formula unless the factor times
// the number or the result leaves the normal range; a number whose magnitude lies in
// [low, high) keeps both normal, so only others are flagged. Zero and NaN keep the formula
// too: positive factors give zero back with its sign, as apply returns it. With zero offsets,
// subtracting and adding them changes no bit of an unflagged element, so both kinds of
// conversion take the factors formula.
template <bool Reciprocal>
struct Rescuable {
    double from_factor;
    double divisor;  // to_factor, or its reciprocal when that is a power of two
    double low, high;
    double operator()(double v, Flag &flag) const {
        const double p = from_factor * v;
        // Dividing by a power of two and multiplying by its reciprocal round the same exact
        // quotient.
        const double r = Reciprocal ? p * divisor : p / divisor;
        flag_outside(v, low, high, flag);
        return r;
    }
};

// A division by a factor known before the loop, as a multiply and a fused multiply-add:
// fma(p, zh, p * zl), with zh + zl the reciprocal of t to twice the precision, lies within
// 2^-105 |p / t| of the quotient, so it rounds as p / t unless the quotient lies that close
// to a midpoint between two doubles. Divisors for which no p comes that close are found before
// the loop (see `reciprocates`); only they take this step. The bounds keep p, p / t and
// p * zl normal, where that error bound holds.
struct Reciprocated {
    double from_factor;
    double high_part, low_part;  // zh and zl
    double low, high;
    double operator()(double v, Flag &flag) const {
        const double p = from_factor * v;
        const double r = std::fma(p, high_part, p * low_part);
        flag_outside(v, low, high, flag);
        // A zero keeps its sign, as a quotient by a positive divisor does.
        return std::copysign(r, p);
    }
};

// A zero point moves: apply returns the formula for every number.
struct Shifted {
    double from_factor, from_offset, to_offset, to_factor;
    double operator()(double v, Flag &) const {
        return ((from_factor * v) - from_offset + to_offset) / to_factor;
    }
};

using Step = std::variant<Identity, Rescuable<false>, Rescuable<true>, Reciprocated, Shifted>;
// The step that reproduces c.apply, or nothing where every element takes apply itself
// (factors that are negative or outside the normal range).
std::optional<Step> step_of(const Conversion &c, bool fused = false);

// Whether the step divides, or stands for a division, or has no fast step at all: work that
// gains from the widest vectors.
bool divides(const std::optional<Step> &s);

// ---- staging ---------------------------------------------------------------------------------

inline const char *at(Input in, std::size_t i) {
    return in.data + static_cast<std::ptrdiff_t>(i) * in.step;
}

template <class T>
bool contiguous(const void *data, std::ptrdiff_t step) {
    return step == sizeof(T) && reinterpret_cast<std::uintptr_t>(data) % alignof(T) == 0;
}

// The block of k elements from i: in place where the operand is contiguous and aligned (as
// NumPy's arrays are), otherwise copied into buf.
inline const double *block_of(Input in, std::size_t i, std::size_t k, double *buf) {
    const char *p = at(in, i);
    if (contiguous<double>(p, in.step)) return reinterpret_cast<const double *>(p);
    if (in.step == 0) {
        double v;
        std::memcpy(&v, p, sizeof v);
        std::fill_n(buf, k, v);
    } else {
        for (std::size_t j = 0; j < k; ++j, p += in.step) std::memcpy(buf + j, p, sizeof(double));
    }
    return buf;
}

template <class T>
void store(Output out, std::size_t i, std::size_t k, const T *buf) {
    char *p = out.data + static_cast<std::ptrdiff_t>(i) * out.step;
    if (out.step == sizeof(T)) {
        std::memcpy(p, buf, k * sizeof(T));
    } else {
        for (std::size_t j = 0; j < k; ++j, p += out.step) std::memcpy(p, buf + j, sizeof(T));
    }
}

// The fast formula over a stretch of elements; `restrict` holds, as the output never overlaps
// an input it is computed from (run_blocks sees to it).
// A plain loop (no conversion step) unrolls to two vectors a turn as NumPy's own loops do,
// which took a million-number multiply from 1.03-1.05x NumPy's time to 1.00x; unrolling the
// others would double their code for no gain, as they compute more per load.
template <bool Plain, class T, class Fast, class... X>
bool kernel(const Fast &fast, T *__restrict res, std::size_t count, const X *__restrict... x) {
    Flag flag = 0;
    if constexpr (Plain) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j]..., flag);
    } else {
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j]..., flag);
    }
    return flag != 0;
}

inline bool overlap(const void *a, std::size_t a_bytes, const void *b, std::size_t b_bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + b_bytes && y < x + a_bytes;
}

// Elements from `first` on: a stretch that ends where the first input meets a cache line, so
// that none of the wide loads after it straddles two lines (NumPy's buffers start 16 bytes into
// one), then `size` elements at a time. Aligning the loads rather than the stores took a
// million-number conversion from 1.3x NumPy's multiply to 1.0x on AVX-512.
template <std::size_t N, class F>
void in_stretches(std::size_t first, std::size_t n, const Input (&inputs)[N], std::size_t size,
                  F &&f) {
    std::size_t k = size;
    if (inputs[0].step == sizeof(double)) {
        const auto past = reinterpret_cast<std::uintptr_t>(at(inputs[0], first)) % 64;
        if (past != 0 && past % sizeof(double) == 0) k = (64 - past) / sizeof(double);
    }
    for (std::size_t i = first; i < n; i += k, k = size)
        if (!f(i, std::min(k, n - i))) return;
}

// Runs `fast(x..., flag)` for every element, block by block, and `exact(x...)` for every
// element of a block where `fast` raised the flag. A block is written in place when the output
// is contiguous and apart from the inputs; otherwise it gathers in `res` first, so that a
// flagged block still reads its inputs when the output is an input's memory.
//
// Where every operand lies in place, contiguous and apart from the output, the fast formula
// runs over spans of many blocks instead: blocks cost a million-number multiply 3-5% over one
// loop. The first span that flags, and all that follow it, run block by block after all.
template <class T, bool Plain = false, std::size_t N, class Fast, class Exact>
void run_blocks(std::size_t n, const Input (&inputs)[N], Output out, const Fast &fast,
                const Exact &exact) {
    auto element = [&](std::size_t i) {
        return out.data + static_cast<std::ptrdiff_t>(i) * out.step;
    };
    std::size_t from = 0;
    // A plain loop also runs with a repeated second operand (a * 2.0) in spans, read once
    // before any element is written, as the blocks stage it.
    bool repeated = false;
    double v = 0.0;
    if constexpr (Plain && N == 2) {
        repeated = inputs[1].step == 0;
        if (repeated) std::memcpy(&v, inputs[1].data, sizeof v);
    }
    bool spans = contiguous<T>(out.data, out.step) && n > BLOCK;
    for (std::size_t a = 0; a < N; ++a)
        spans = spans && ((a == 1 && repeated) ||
                          (contiguous<double>(inputs[a].data, inputs[a].step) &&
                           !overlap(out.data, n * sizeof(T), inputs[a].data, n * sizeof(double))));
    if (spans) {
        in_stretches(0, n, inputs, SPAN, [&](std::size_t i, std::size_t k) {
            const auto x = reinterpret_cast<const double *>(at(inputs[0], i));
            T *res = reinterpret_cast<T *>(element(i));
            const bool flagged = [&] {
                if constexpr (N == 1) {
                    return kernel<Plain>(fast, res, k, x);
                } else {
                    if constexpr (Plain)
                        if (repeated)
                            return kernel<Plain>([&](double u, Flag &f) { return fast(u, v, f); },
                                                 res, k, x);
                    return kernel<Plain>(fast, res, k, x,
                                         reinterpret_cast<const double *>(at(inputs[1], i)));
                }
            }();
            from = i + (flagged ? 0 : k);
            return !flagged;
        });
        if (from == n) return;
    }

    alignas(64) double staged[N][BLOCK];
    alignas(64) T res[BLOCK];
    const double *in[N];
    // A repeated number (a broadcast scalar) is staged once for every block.
    for (std::size_t a = 0; a < N; ++a)
        if (inputs[a].step == 0 && n > 0) block_of(inputs[a], 0, std::min(BLOCK, n), staged[a]);
    in_stretches(from, n, inputs, BLOCK, [&](std::size_t i, std::size_t k) {
        char *dest = element(i);
        bool direct = contiguous<T>(dest, out.step);
        for (std::size_t a = 0; a < N; ++a) {
            in[a] = inputs[a].step == 0 ? staged[a] : block_of(inputs[a], i, k, staged[a]);
            if (in[a] != staged[a] && overlap(dest, k * sizeof(T), in[a], k * sizeof(double)))
                direct = false;
        }
        T *target = direct ? reinterpret_cast<T *>(dest) : res;
        bool flagged;
        if constexpr (N == 1)
            flagged = kernel<false>(fast, target, k, in[0]);
        else
            flagged = kernel<false>(fast, target, k, in[0], in[1]);
        if (flagged) [[unlikely]] {
            for (std::size_t j = 0; j < k; ++j) {
                if constexpr (N == 1)
                    target[j] = exact(in[0][j]);
                else
                    target[j] = exact(in[0][j], in[1][j]);
            }
        }
        if (!direct) store(out, i, k, res);
        return true;
    });
}

// Visits the fast step of each conversion, or calls `slow` when one has none. The steps are
// taken by value: a local copy, which no store of the loop can alias, keeps the loop vector.
template <class Fast, class Slow>
void with_steps(std::optional<Step> s, Fast &&fast, Slow &&slow) {
    if (s)
        std::visit(fast, *s);
    else
        slow();
}
template <class Fast, class Slow>
void with_steps(std::optional<Step> s1, std::optional<Step> s2, Fast &&fast, Slow &&slow) {
    // Nested single visits: a visit of two variants calls through a table of pointers, which
    // nothing inlines into the vector forms of the loops.
    if (s1 && s2)
        std::visit([&](const auto &a) { std::visit([&](const auto &b) { fast(a, b); }, *s2); },
                   *s1);
    else
        slow();
}

// The step that stands for `apply` itself where a conversion has no fast step.
struct Exact {
    const Conversion *c;
    double operator()(double v, Flag &) const { return c->apply(v); }
};
// ---- the arithmetic of each loop, in the scalar algebra's operand order ----------------------

template <Op O, bool Reflected>
double combine(double s, double o) {
    if constexpr (O == Op::add)
        return o + s;  // o: the other operand in self's units
    else if constexpr (O == Op::sub)
        return Reflected ? o - s : s - o;
    else if constexpr (O == Op::mul)
        return s * o;
    else
        return Reflected ? o / s : s / o;
}
template <Op O, bool Reflected, class Pre, class Post>
void operate_with(const Pre &pre, const Post &post, const OperationPlan &plan, std::size_t n,
                  Input s, Input o, Output out) {
    const Input inputs[] = {s, o};
    run_blocks<double, std::is_same_v<Pre, Identity> && std::is_same_v<Post, Identity>>(
        n, inputs, out,
        [&](double u, double v, Flag &flag) {
            return post(combine<O, Reflected>(u, pre(v, flag)), flag);
        },
        [&](double u, double v) {
            return plan.post.apply(combine<O, Reflected>(u, plan.pre.apply(v)));
        });
}
// Runs f with the loops compiled for the widest vectors the processor has, as NumPy dispatches
// its own loops: AVX-512, AVX2, or the x86-64 baseline of two doubles to a vector. Multiplies
// and adds never contract into one rounding where the scalar path rounds twice (the file is
// compiled with -ffp-contract=off); only the reciprocal step fuses, by calling std::fma.
template <class F>
[[gnu::flatten]] void baseline(F &f) {
    f();
}
#if defined(__x86_64__)
template <class F>
[[gnu::target("avx2,fma"), gnu::flatten]] void wide(F &f) {
    f();
}
template <class F>
[[gnu::target("avx512f,fma"), gnu::flatten]] void widest(F &f) {
    f();
}
#endif  // The widest form for a loop of n elements, and whether the loop may take the reciprocal
        // step,
// which the vector forms compile with fused multiply-adds.
struct Form {
    LoopForm widest;
    bool fused;
};
Form form_for(std::size_t n);

// Runs f in the form. `widest_pays` tells whether AVX-512's width gains: where the loop
// divides (or takes the reciprocal step in its place), roots or raises, or where it reads one
// stream of numbers, whose loads the head stretch aligns (a million-number a * 2.0 or
// conversion took 0.95-0.97x NumPy's time, against 1.00-1.05x in the AVX2 form). A loop that
// only multiplies and adds two streams is bound by memory, and there the second stream's loads,
// which straddle two cache lines wherever NumPy's buffers are not 64-byte aligned alike, cost
// more than the width gains (a * b: 1.07x, against 1.01x), so it runs in the AVX2 form.
template <class F>
void dispatch(Form form, bool widest_pays, F &&f) {
#if defined(__x86_64__)
    if (form.widest == LoopForm::avx512 && widest_pays) return widest(f);
    if (form.widest != LoopForm::baseline) return wide(f);
#endif
    baseline(f);
}

// s op o for every element, from the plan's steps.
template <Op O, bool Reflected>
void operate_as(const OperationPlan &plan, std::size_t n, Input s, Input o, Output out) {
    const Form form = form_for(n);
    const std::optional<Step> pre = step_of(plan.pre, form.fused),
                              post = step_of(plan.post, form.fused);
    // The other operand repeated (a * 2.0) leaves one stream.
    dispatch(form, O == Op::div || o.step == 0 || divides(pre) || divides(post), [&] {
        with_steps(
            pre, post,
            [&](const auto &a, const auto &b) {
                operate_with<O, Reflected>(a, b, plan, n, s, o, out);
            },
            [&] {
                operate_with<O, Reflected>(Exact{&plan.pre}, Exact{&plan.post}, plan, n, s, o, out);
            });
    });
}

// Sums and differences compile in one file, products and quotients in another.
extern template void operate_as<Op::add, false>(const OperationPlan &, std::size_t, Input, Input,
                                                Output);
extern template void operate_as<Op::sub, false>(const OperationPlan &, std::size_t, Input, Input,
                                                Output);
extern template void operate_as<Op::sub, true>(const OperationPlan &, std::size_t, Input, Input,
                                               Output);
extern template void operate_as<Op::mul, false>(const OperationPlan &, std::size_t, Input, Input,
                                                Output);
extern template void operate_as<Op::div, false>(const OperationPlan &, std::size_t, Input, Input,
                                                Output);
extern template void operate_as<Op::div, true>(const OperationPlan &, std::size_t, Input, Input,
                                               Output);

}  // namespace modrin::loops
