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
#include "unit/element_kernels.hpp"
#include "unit/render.hpp"

namespace modrin {

namespace loops {

namespace {

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

}  // namespace

std::optional<Step> step_of(const Conversion &c, bool fused) {
    using Kind = Conversion::Kind;
    const bool offsets = c.from_offset != 0.0 || c.to_offset != 0.0;
    switch (c.kind) {
        case Kind::same:
        case Kind::refused:
            return Identity{};
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

bool divides(const std::optional<Step> &s) {
    return !s || std::holds_alternative<Rescuable<false>>(*s) ||
           std::holds_alternative<Reciprocated>(*s) || std::holds_alternative<Shifted>(*s);
}

Form form_for(std::size_t n) {
    const LoopForm widest = widest_form();
    return {widest, widest != LoopForm::baseline && n >= RECIPROCAL_LENGTH};
}

}  // namespace loops

using namespace loops;

namespace {

template <Comparison C>
bool compare(double x, double y) {  // y: the other operand in x's units
    if constexpr (C == Comparison::lt)
        return y > x;
    else if constexpr (C == Comparison::le)
        return y >= x;
    else if constexpr (C == Comparison::eq)
        return x == y;
    else if constexpr (C == Comparison::ne)
        return x != y;
    else if constexpr (C == Comparison::gt)
        return x > y;
    else
        return y <= x;
}

// Calls f with the operation as template arguments.
template <class F>
void with_operation(Op op, bool reflected, F &&f) {
    switch (op) {
        case Op::add:
            f.template operator()<Op::add, false>();
            return;
        case Op::sub:
            reflected ? f.template operator()<Op::sub, true>()
                      : f.template operator()<Op::sub, false>();
            return;
        case Op::mul:
            f.template operator()<Op::mul, false>();
            return;
        case Op::div:
            reflected ? f.template operator()<Op::div, true>()
                      : f.template operator()<Op::div, false>();
            return;
        case Op::pow:
            return;  // powers run through power_elements
    }
}

template <class F>
void with_comparison(Comparison c, F &&f) {
    switch (c) {
        case Comparison::lt:
            f.template operator()<Comparison::lt>();
            return;
        case Comparison::le:
            f.template operator()<Comparison::le>();
            return;
        case Comparison::eq:
            f.template operator()<Comparison::eq>();
            return;
        case Comparison::ne:
            f.template operator()<Comparison::ne>();
            return;
        case Comparison::gt:
            f.template operator()<Comparison::gt>();
            return;
        case Comparison::ge:
            f.template operator()<Comparison::ge>();
            return;
    }
}

template <Sign S>
double signed_as(double v) {
    if constexpr (S == Sign::negate)
        return -v;
    else if constexpr (S == Sign::absolute)
        return std::fabs(v);
    else
        return v;
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

template <class Post, class Raise>
void power_with(const Post &post, const PowerPlan &plan, const Raise &raise, std::size_t n, Input b,
                Output out) {
    const Input inputs[] = {b};
    run_blocks<double>(
        n, inputs, out, [&](double v, Flag &flag) { return post(raise(v), flag); },
        [&](double v) { return plan.post.apply(raise(v)); });
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
    dispatch(form, true, [&] {  // one stream
        with_steps(
            step, [&](const auto &s) { convert_with<S>(s, c, n, x, out); },
            [&] { convert_with<S>(Exact{&c}, c, n, x, out); });
    });
}

void convert_elements(const ConversionPlan &plan, std::size_t n, Input x, Output out, Sign sign) {
    switch (sign) {
        case Sign::keep:
            return convert_signed<Sign::keep>(plan.conversion, n, x, out);
        case Sign::negate:
            return convert_signed<Sign::negate>(plan.conversion, n, x, out);
        case Sign::absolute:
            return convert_signed<Sign::absolute>(plan.conversion, n, x, out);
    }
}

void compare_elements(const ConversionPlan &plan, Comparison op, std::size_t n, Input x, Input y,
                      Output out) {
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
    with_operation(plan.op, plan.reflected,
                   [&]<Op O, bool Reflected>() { operate_as<O, Reflected>(plan, n, s, o, out); });
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
void raise_elements(const PowerPlan &plan, const Raise &raise, std::size_t n, Input b, Output out) {
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
    raise_elements(
        plan, [e](double v) { return power_of(v, e); }, n, b, out);
}

void root_elements(const PowerPlan &plan, std::size_t n, Input b, Output out) {
    raise_elements(
        plan, [](double v) { return std::sqrt(v); }, n, b, out);
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
        case Elementary::exp:
            return each([](double v) { return std::exp(v); });
        case Elementary::log:
            return each([](double v) { return std::log(v); });
        case Elementary::log10:
            return each([](double v) { return std::log10(v); });
    }
}

}  // namespace modrin
