#include "unit/element_loops.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "unit/base_units.hpp"
#include "unit/render.hpp"

namespace modrin {

namespace {

// Elements run in blocks of this size; a block with an element for the scalar path is redone
// alone.
constexpr std::size_t BLOCK = 512;
// Operands that lie in place run in spans of this size (see run_blocks).
constexpr std::size_t SPAN = 64 * BLOCK;

bool is_normal(double x) {
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

// Bounds on |v| within which f * v and f * v / t are normal, from the binary exponents alone:
// with f in [2^ef, 2^(ef+1)) and |v| in [2^e, 2^(e+1)), f * v lies in [2^(e+ef), 2^(e+ef+2)]
// after rounding, and dividing by t in [2^et, 2^(et+1)) gives [2^(e+ef-et-1), 2^(e+ef-et+2)].
template <bool Reciprocal>
Rescuable<Reciprocal> rescuable(double f, double divisor, double t) {
    const int ef = std::ilogb(f), et = std::ilogb(t);
    const int lowest = std::max(-1022 - ef, -1021 - ef + et);
    const int highest = std::min(1021 - ef, 1021 - ef + et);
    // Past the double range the bounds become 0 and infinity: no number lies beyond them.
    return {f, divisor, std::ldexp(1.0, lowest), std::ldexp(1.0, highest + 1)};
}

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

// zh + zl = 1 / t to about 106 bits: the residual 1 - zh t is exact.
std::pair<double, double> reciprocal_pair(double t) {
    const double zh = 1.0 / t;
    return {zh, std::fma(-zh, t, 1.0) / t};
}

__extension__ using Wide = unsigned __int128;

// Whether fma(x, zh, x * zl) rounds as x / t for every x. Write x and t by their 53-bit
// significands X and T and a midpoint between doubles by its odd 54-bit significand M. The
// step can round otherwise only where the quotient lies within 2^-105 of its size from a
// midpoint, that is where X 2^k - M T = c for k = 53 or 54 (the binade of X / T) and an
// integer 0 < |c| <= 4. Each such c fixes X modulo T's odd part, which leaves a few X to
// try; trying every |c| up to 16 leaves a margin on that bound. The significand alone
// decides: scaling x by a power of two scales every step exactly while all stay normal.
bool reciprocal_rounds_as_division(double t) {
    constexpr int C = 16;
    int et = 0;
    const double tm = std::frexp(t, &et);  // [0.5, 1)
    const auto T = static_cast<std::uint64_t>(std::ldexp(tm, 53));
    const int shift = std::countr_zero(T);
    const std::uint64_t odd = T >> shift;
    if (odd == 1) return true;  // a power of two: the reciprocal is exact
    const auto [zh, zl] = reciprocal_pair(t);
    const std::uint64_t half = (odd + 1) / 2;  // the inverse of 2 modulo odd
    for (int k : {53, 54}) {
        Wide inverse = 1;  // of 2^(k - shift) modulo odd
        for (int i = 0; i < k - shift; ++i) inverse = inverse * half % odd;
        for (int c = -C; c <= C; ++c) {
            // X 2^k - M T = c needs 2^shift | c; c = 0 would be a quotient that is a midpoint.
            if (c == 0 || c % (std::int64_t{1} << std::min(shift, 62)) != 0) continue;
            const std::int64_t reduced = (c >> shift) % static_cast<std::int64_t>(odd);
            const Wide residue = static_cast<std::uint64_t>(
                reduced < 0 ? reduced + static_cast<std::int64_t>(odd) : reduced);
            const auto first = static_cast<std::uint64_t>(residue * inverse % odd);
            constexpr std::uint64_t lowest = std::uint64_t{1} << 52;
            std::uint64_t X = first + (first < lowest ? (lowest - first + odd - 1) / odd * odd : 0);
            for (; X < 2 * lowest; X += odd) {
                // x of X's significand near t, so that x / t lies near 1.
                const double x = std::ldexp(static_cast<double>(X), et - 53);
                if (std::fma(x, zh, x * zl) != x / t) return false;
            }
        }
    }
    return true;
}

// Divisors already tried, a few at a time: a conversion repeats its divisor call after call.
bool reciprocates(double t) {
    static std::mutex lock;
    static std::array<std::pair<double, bool>, 16> seen{};
    static std::size_t next = 0;
    {
        std::lock_guard guard(lock);
        for (const auto &[divisor, answer] : seen)
            if (divisor == t) return answer;
    }
    const bool answer = reciprocal_rounds_as_division(t);
    std::lock_guard guard(lock);
    seen[next] = {t, answer};
    next = (next + 1) % seen.size();
    return answer;
}

// Loops this long take the reciprocal step where it holds: shorter ones would spend more on
// choosing it than they save.
constexpr std::size_t RECIPROCAL_LENGTH = 4096;

// The step that reproduces c.apply, or nothing where every element takes apply itself
// (factors that are negative or outside the normal range).
std::optional<Step> step_of(const Conversion &c, bool fused = false) {
    using Kind = Conversion::Kind;
    const bool offsets = c.from_offset != 0.0 || c.to_offset != 0.0;
    switch (c.kind) {
        case Kind::same:
        case Kind::refused: return Identity{};
        case Kind::offsets:
            if (offsets) return Shifted{c.from_factor, c.from_offset, c.to_offset, c.to_factor};
            break;
        case Kind::factors:
            if (offsets) return std::nullopt;
            break;
    }
    const double f = c.from_factor, t = c.to_factor;
    if (!(f > 0.0 && t > 0.0 && is_normal(f) && is_normal(t))) return std::nullopt;
    int e = 0;
    if (std::frexp(t, &e) == 0.5 && is_normal(1.0 / t)) return rescuable<true>(f, 1.0 / t, t);
    if (fused && std::abs(std::ilogb(t)) < 900 && reciprocates(t)) {
        const auto [zh, zl] = reciprocal_pair(t);
        // As rescuable's bounds, with p / t kept 2^54 above the subnormals so that p * zl
        // stays normal.
        const Rescuable<false> r = rescuable<false>(f, t, t);
        const double low =
            std::max(r.low, std::ldexp(1.0, 54 - 1021 - std::ilogb(f) + std::ilogb(t)));
        return Reciprocated{f, zh, zl, low, r.high};
    }
    return rescuable<false>(f, t, t);
}

// Whether the step divides, or stands for a division, or has no fast step at all: work that
// gains from the widest vectors.
bool divides(const std::optional<Step> &s) {
    return !s || std::holds_alternative<Rescuable<false>>(*s) ||
           std::holds_alternative<Reciprocated>(*s) || std::holds_alternative<Shifted>(*s);
}

// ---- staging ---------------------------------------------------------------------------------

const char *at(Input in, std::size_t i) {
    return in.data + static_cast<std::ptrdiff_t>(i) * in.step;
}

// The block of k elements from i: in place where the operand is contiguous and aligned (as
// NumPy's arrays are), otherwise copied into buf.
const double *block_of(Input in, std::size_t i, std::size_t k, double *buf) {
    const char *p = at(in, i);
    if (in.step == sizeof(double) &&
        reinterpret_cast<std::uintptr_t>(p) % alignof(double) == 0)
        return reinterpret_cast<const double *>(p);
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
template <bool Plain, class T, class Fast>
bool kernel(const Fast &fast, const double *__restrict x, T *__restrict res, std::size_t count) {
    Flag flag = 0;
    if constexpr (Plain) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j], flag);
    } else {
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j], flag);
    }
    return flag != 0;
}
template <bool Plain, class T, class Fast>
bool kernel(const Fast &fast, const double *__restrict x, const double *__restrict y,
            T *__restrict res, std::size_t count) {
    Flag flag = 0;
    if constexpr (Plain) {
#pragma GCC unroll 8
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j], y[j], flag);
    } else {
        for (std::size_t j = 0; j < count; ++j) res[j] = fast(x[j], y[j], flag);
    }
    return flag != 0;
}

bool overlap(const void *a, std::size_t a_bytes, const void *b, std::size_t b_bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + b_bytes && y < x + a_bytes;
}

template <class T>
bool contiguous(const void *data, std::ptrdiff_t step) {
    return step == sizeof(T) && reinterpret_cast<std::uintptr_t>(data) % alignof(T) == 0;
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
                    return kernel<Plain>(fast, x, res, k);
                } else {
                    if constexpr (Plain)
                        if (repeated)
                            return kernel<Plain>([&](double u, Flag &f) { return fast(u, v, f); },
                                                 x, res, k);
                    return kernel<Plain>(
                        fast, x, reinterpret_cast<const double *>(at(inputs[1], i)), res, k);
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
            flagged = kernel<false>(fast, in[0], target, k);
        else
            flagged = kernel<false>(fast, in[0], in[1], target, k);
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
    if constexpr (O == Op::add) return o + s;  // o: the other operand in self's units
    else if constexpr (O == Op::sub) return Reflected ? o - s : s - o;
    else if constexpr (O == Op::mul) return s * o;
    else return Reflected ? o / s : s / o;
}

template <Comparison C>
bool compare(double x, double y) {  // y: the other operand in x's units
    if constexpr (C == Comparison::lt) return y > x;
    else if constexpr (C == Comparison::le) return y >= x;
    else if constexpr (C == Comparison::eq) return x == y;
    else if constexpr (C == Comparison::ne) return x != y;
    else if constexpr (C == Comparison::gt) return x > y;
    else return y <= x;
}

// Calls f with the operation as template arguments.
template <class F>
void with_operation(Op op, bool reflected, F &&f) {
    switch (op) {
        case Op::add: f.template operator()<Op::add, false>(); return;
        case Op::sub:
            reflected ? f.template operator()<Op::sub, true>()
                      : f.template operator()<Op::sub, false>();
            return;
        case Op::mul: f.template operator()<Op::mul, false>(); return;
        case Op::div:
            reflected ? f.template operator()<Op::div, true>()
                      : f.template operator()<Op::div, false>();
            return;
        case Op::pow: return;  // powers run through power_elements
    }
}

template <class F>
void with_comparison(Comparison c, F &&f) {
    switch (c) {
        case Comparison::lt: f.template operator()<Comparison::lt>(); return;
        case Comparison::le: f.template operator()<Comparison::le>(); return;
        case Comparison::eq: f.template operator()<Comparison::eq>(); return;
        case Comparison::ne: f.template operator()<Comparison::ne>(); return;
        case Comparison::gt: f.template operator()<Comparison::gt>(); return;
        case Comparison::ge: f.template operator()<Comparison::ge>(); return;
    }
}

// ---- the loops over given steps --------------------------------------------------------------

template <Sign S>
double signed_as(double v) {
    if constexpr (S == Sign::negate) return -v;
    else if constexpr (S == Sign::absolute) return std::fabs(v);
    else return v;
}

template <Sign S, class Step1>
void convert_with(const Step1 &step, const Conversion &c, std::size_t n, Input x, Output out) {
    const Input inputs[] = {x};
    run_blocks<double>(
        n, inputs, out, [&](double v, Flag &flag) { return step(signed_as<S>(v), flag); },
        [&](double v) { return c.apply(signed_as<S>(v)); });
}

template <Comparison C, class Pre>
void compare_with(const Pre &pre, const Conversion &c, std::size_t n, Input x, Input y,
                  Output out) {
    const Input inputs[] = {x, y};
    run_blocks<unsigned char, std::is_same_v<Pre, Identity>>(
        n, inputs, out,
        [&](double u, double v, Flag &flag) -> unsigned char {
            return compare<C>(u, pre(v, flag));
        },
        [&](double u, double v) -> unsigned char { return compare<C>(u, c.apply(v)); });
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

template <class Post, class Raise>
void power_with(const Post &post, const PowerPlan &plan, const Raise &raise, std::size_t n,
                Input b, Output out) {
    const Input inputs[] = {b};
    run_blocks<double>(
        n, inputs, out, [&](double v, Flag &flag) { return post(raise(v), flag); },
        [&](double v) { return plan.post.apply(raise(v)); });
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
#endif
std::atomic<LoopForm> widest_allowed{LoopForm::avx512};

LoopForm widest_form() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512f");
    const LoopForm allowed = widest_allowed.load(std::memory_order_relaxed);
    if (avx512 && allowed == LoopForm::avx512) return LoopForm::avx512;
    if (avx2 && allowed != LoopForm::baseline) return LoopForm::avx2;
#endif
    return LoopForm::baseline;
}

// The widest form for a loop of n elements, and whether the loop may take the reciprocal step,
// which the vector forms compile with fused multiply-adds.
struct Form {
    LoopForm widest;
    bool fused;
};
Form form_for(std::size_t n) {
    const LoopForm widest = widest_form();
    return {widest, widest != LoopForm::baseline && n >= RECIPROCAL_LENGTH};
}

// Runs f in the form; `computes` tells whether the loop divides (or takes the reciprocal step
// in its place), roots or raises. A loop that only multiplies and adds is bound by memory, and
// there AVX-512's loads, which straddle two cache lines wherever NumPy's buffers are not
// 64-byte aligned, cost more than its width gains (1.1-1.3x AVX2's time on a million
// numbers), so it runs in the AVX2 form.
template <class F>
void dispatch(Form form, bool computes, F &&f) {
#if defined(__x86_64__)
    if (form.widest == LoopForm::avx512 && computes) return widest(f);
    if (form.widest != LoopForm::baseline) return wide(f);
#endif
    baseline(f);
}

// The conversion reads its collections from the records the plan holds.
Conversion reading(Conversion c, const SharedUnits &from, const SharedUnits &to) {
    c.from = &from.get();
    c.to = &to.get();
    return c;
}

}  // namespace

void use_loop_form(LoopForm widest) { widest_allowed.store(widest, std::memory_order_relaxed); }

Result<ConversionPlan> plan_conversion(const SharedUnits &from, const SharedUnits &to) {
    ConversionPlan plan{{}, from, to};
    // As convert(): a record is compatible with itself unless NaN exponents say otherwise.
    if (from.record() != to.record() || !is_compatible(from.get(), to.get()))
        plan.conversion = conversion_between(from.get(), to.get());
    if (plan.conversion.kind == Conversion::Kind::refused)
        return std::unexpected(incompatible_units(as_string(from.get()), as_string(to.get())));
    plan.conversion = reading(plan.conversion, plan.from, plan.to);
    return plan;
}

template <Sign S>
void convert_signed(const Conversion &c, std::size_t n, Input x, Output out) {
    const Form form = form_for(n);
    const std::optional<Step> step = step_of(c, form.fused);
    dispatch(form, divides(step), [&] {
        with_steps(
            step, [&](const auto &s) { convert_with<S>(s, c, n, x, out); },
            [&] { convert_with<S>(Exact{&c}, c, n, x, out); });
    });
}

void convert_elements(const ConversionPlan &plan, std::size_t n, Input x, Output out,
                      Sign sign) {
    switch (sign) {
        case Sign::keep: return convert_signed<Sign::keep>(plan.conversion, n, x, out);
        case Sign::negate: return convert_signed<Sign::negate>(plan.conversion, n, x, out);
        case Sign::absolute: return convert_signed<Sign::absolute>(plan.conversion, n, x, out);
    }
}

void compare_elements(const ConversionPlan &plan, Comparison op, std::size_t n, Input x,
                      Input y, Output out) {
    const Conversion &c = plan.conversion;
    const Form form = form_for(n);
    const std::optional<Step> step = step_of(c, form.fused);
    dispatch(form, true, [&] {
        with_comparison(op, [&]<Comparison C>() {
            with_steps(
                step, [&](const auto &pre) { compare_with<C>(pre, c, n, x, y, out); },
                [&] { compare_with<C>(Exact{&c}, c, n, x, y, out); });
        });
    });
}

Result<OperationPlan> plan_operation(Op op, const SharedUnits &su, const SharedUnits &ou,
                                     bool reflected) {
    if (op == Op::pow) return std::unexpected(incompatible_units("", ""));  // see plan_power
    OperationPlan plan;
    plan.op = op;
    plan.reflected = reflected;
    plan.self = su;
    plan.other = ou;
    if (op == Op::add || op == Op::sub) {
        // The result units and the refusal come from the scalar algebra itself, so an array's
        // units are the record a Modrin of the same elements carries.
        Result<SharedQuantity> probe = apply(op, 1.0, su, 1.0, ou, reflected);
        if (!probe) return std::unexpected(std::move(probe.error()));
        plan.units = std::move(probe->units);
        // As added_in: the same units add as they are, others by the ratio of their factors.
        if (su.record() != ou.record() && !(su->units == ou->units))
            plan.pre = reading({Conversion::Kind::factors, ou->factor, 0.0, 0.0, su->factor},
                               plan.other, plan.self);
        // Normalisation of self's units; the record keeps its form and the form's target.
        plan.post = simple_form(plan.self).conversion;
        return plan;
    }
    // The operators' own memo entry; its conversion reads the raw and result records held here.
    const bool swap = op == Op::div && reflected;
    OperationUnits u = swap ? operation_units(op, ou, su) : operation_units(op, su, ou);
    plan.units = std::move(u.form.target);
    plan.post = u.form.conversion;
    plan.raw = std::move(u.raw);
    return plan;
}

void operate_elements(const OperationPlan &plan, std::size_t n, Input s, Input o, Output out) {
    const Form form = form_for(n);
    const std::optional<Step> pre = step_of(plan.pre, form.fused),
                              post = step_of(plan.post, form.fused);
    dispatch(form, plan.op == Op::div || divides(pre) || divides(post), [&] {
        with_operation(plan.op, plan.reflected, [&]<Op O, bool Reflected>() {
            with_steps(
                pre, post,
                [&](const auto &a, const auto &b) {
                    operate_with<O, Reflected>(a, b, plan, n, s, o, out);
                },
                [&] {
                    operate_with<O, Reflected>(Exact{&plan.pre}, Exact{&plan.post}, plan, n, s, o,
                                               out);
                });
        });
    });
}

Result<PowerPlan> plan_power(const SharedUnits &base, double exponent,
                             const SharedUnits &exponent_units) {
    Result<SharedQuantity> probe = apply(Op::pow, 1.0, base, exponent, exponent_units, false);
    if (!probe) return std::unexpected(std::move(probe.error()));
    PowerPlan plan;
    plan.exponent = exponent;
    if (exponent_units.record() != SharedUnits::unitless().record())
        plan.exponent = *convert(exponent, exponent_units, SharedUnits::unitless());
    plan.units = std::move(probe->units);
    OperationUnits u = power_units(base, plan.exponent);
    plan.post = u.form.conversion;
    plan.raw = std::move(u.raw);
    return plan;
}

template <class Raise>
void raise_elements(const PowerPlan &plan, const Raise &raise, std::size_t n, Input b,
                    Output out) {
    const Form form = form_for(n);
    const std::optional<Step> step = step_of(plan.post, form.fused);
    dispatch(form, true, [&] {
        with_steps(
            step, [&](const auto &post) { power_with(post, plan, raise, n, b, out); },
            [&] { power_with(Exact{&plan.post}, plan, raise, n, b, out); });
    });
}

void power_elements(const PowerPlan &plan, std::size_t n, Input b, Output out) {
    const double e = plan.exponent;
    raise_elements(plan, [e](double v) { return power_of(v, e); }, n, b, out);
}

void root_elements(const PowerPlan &plan, std::size_t n, Input b, Output out) {
    raise_elements(plan, [](double v) { return std::sqrt(v); }, n, b, out);
}

void plain_power_elements(std::size_t n, Input b, Input e, Output out) {
    const Input inputs[] = {b, e};
    const auto raise = [](double v, double p) { return power_of(v, p); };
    dispatch(form_for(n), true, [&] {
        run_blocks<double>(
            n, inputs, out, [&](double v, double p, Flag &) { return raise(v, p); }, raise);
    });
}

void elementary_elements(Elementary f, std::size_t n, Input x, Output out) {
    const auto each = [&](double (*g)(double)) {
        for (std::size_t i = 0; i < n; ++i) {
            double v;
            std::memcpy(&v, x.data + static_cast<std::ptrdiff_t>(i) * x.step, sizeof v);
            v = g(v);
            std::memcpy(out.data + static_cast<std::ptrdiff_t>(i) * out.step, &v, sizeof v);
        }
    };
    switch (f) {
        case Elementary::exp: return each([](double v) { return std::exp(v); });
        case Elementary::log: return each([](double v) { return std::log(v); });
        case Elementary::log10: return each([](double v) { return std::log10(v); });
    }
}

}  // namespace modrin
