#include "unit/shared_units.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <memory>

#include "unit/base_units.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"

namespace modrin {

namespace detail {

UnitsRecord::~UnitsRecord() {
    delete simple.load(std::memory_order_relaxed);
    delete full.load(std::memory_order_relaxed);
    delete base.load(std::memory_order_relaxed);
    delete plain.load(std::memory_order_relaxed);
    delete latex.load(std::memory_order_relaxed);
    delete descriptive.load(std::memory_order_relaxed);
}

void destroy(UnitsRecord *r) noexcept { delete r; }

}  // namespace detail

using detail::UnitsRecord;

SharedUnits::SharedUnits(UnitCollection c) : rec_(new UnitsRecord(std::move(c))) {}

const SharedUnits &SharedUnits::unitless() {
    // Never freed: handles to it may outlive static destruction in thread-local caches.
    static const SharedUnits *u = new SharedUnits(UnitCollection::unitless());
    return *u;
}

namespace {

// Computes a derived value once; racing threads compute the same thing and one copy is kept.
template <class T, class Make>
const T &once(std::atomic<T *> &slot, Make &&make) {
    if (T *p = slot.load(std::memory_order_acquire)) return *p;
    auto made = std::make_unique<T>(make());
    T *expected = nullptr;
    if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel,
                                     std::memory_order_acquire))
        return *made.release();
    return *expected;
}

// Equal entries in the same order and the same bits: nothing a rendering or an operation
// could tell apart.
bool identical(const UnitCollection &a, const UnitCollection &b) {
    auto same = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    };
    if (a.units.size() != b.units.size() || !same(a.factor, b.factor)) return false;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        if (!same(a.base_exponents[i], b.base_exponents[i])) return false;
    for (std::size_t i = 0; i < a.units.size(); ++i)
        if (!(a.units[i].unit == b.units[i].unit) ||
            !same(a.units[i].exponent, b.units[i].exponent))
            return false;
    return true;
}

// The record's collection converted into `target` (a form of its own units).
Derived derived(const SharedUnits &u, UnitCollection target, bool scale_when_refused) {
    const UnitCollection &c = u.get();
    Conversion conv = conversion_between(c, target);
    const bool refused = conv.kind == Conversion::Kind::refused;
    if (refused) {
        if (!scale_when_refused) return {};  // kept as it is
        conv = {Conversion::Kind::factors, c.factor, 0.0, 0.0, target.factor};
    }
    Derived d;
    if (!identical(target, c)) d.target = SharedUnits(std::move(target));
    if (!refused) {
        // The record owns its forms, and each form its target.
        conv.from = &c;
        conv.to = d.target ? &d.target.get() : &c;
    }
    d.conversion = conv;
    return d;
}

// The normalised form of a raw result, with the raw record that its conversion reads.
struct Normalised {
    Derived form;
    SharedUnits raw;
};

Normalised normalised(UnitCollection raw) {
    SharedUnits r(std::move(raw));
    const Derived &d = simple_form(r);
    return {{d.target ? d.target : r, d.conversion}, r};
}

}  // namespace

const Derived &simple_form(const SharedUnits &u) {
    return once(u.record()->simple, [&] { return derived(u, simple_simplify(u.get()), false); });
}
const Derived &full_form(const SharedUnits &u) {
    return once(u.record()->full, [&] { return derived(u, simplify(u.get()), false); });
}
const Derived &base_form(const SharedUnits &u) {
    return once(u.record()->base, [&] { return derived(u, get_base_units(u.get()), true); });
}
const std::string &plain_text(const SharedUnits &u) {
    return once(u.record()->plain, [&] { return as_string(u.get()); });
}
const std::string &latex_text(const SharedUnits &u) {
    return once(u.record()->latex, [&] { return as_latex(u.get()); });
}
const std::string &descriptive_text(const SharedUnits &u) {
    return once(u.record()->descriptive, [&] { return as_descriptive_string(u.get()); });
}

namespace {

// Per-thread direct-mapped memos: no lock, a fixed size, and every key's records held by the
// entry, so an address cannot be reused while an entry names it.
struct OpEntry {
    UnitsRecord *a = nullptr;
    std::uint64_t b = 0;  // the second record's address, or the exponent's bits
    Op op{};
    SharedUnits keep_a, keep_b;
    Derived result;  // normalised result units and the conversion of the raw number into them
    SharedUnits raw;  // the unnormalised result, which that conversion reads
};

struct ConversionEntry {
    UnitsRecord *from = nullptr, *to = nullptr;
    SharedUnits keep_from, keep_to;
    Conversion conversion;
};

constexpr std::size_t OP_SLOTS = 1024, CONVERSION_SLOTS = 1024;

struct Memo {
    std::array<OpEntry, OP_SLOTS> ops;
    std::array<ConversionEntry, CONVERSION_SLOTS> conversions;
};

Memo &memo() {
    static thread_local std::unique_ptr<Memo> m;
    if (!m) m = std::make_unique<Memo>();
    return *m;
}

std::size_t slot_of(std::uint64_t a, std::uint64_t b, unsigned op, std::size_t slots) {
    std::uint64_t h = (a * 0x9e3779b97f4a7c15ULL) ^ (b * 0xc2b2ae3d27d4eb4fULL) ^ op;
    h ^= h >> 29;
    return static_cast<std::size_t>(h * 0xbf58476d1ce4e5b9ULL >> 54) % slots;
}

std::uint64_t address(const UnitsRecord *r) { return reinterpret_cast<std::uintptr_t>(r); }

const Conversion &conversion_of(const SharedUnits &from, const SharedUnits &to) {
    ConversionEntry &e = memo().conversions[slot_of(address(from.record()), address(to.record()),
                                                    0, CONVERSION_SLOTS)];
    if (e.from != from.record() || e.to != to.record()) {
        e.conversion = conversion_between(from.get(), to.get());
        e.conversion.from = &from.get();
        e.conversion.to = &to.get();
        e.keep_from = from;
        e.keep_to = to;
        e.from = from.record();
        e.to = to.record();
    }
    return e.conversion;
}

// The normalised units of `a op b` (b: a record, or an exponent's bits for pow).
template <class Make>
const OpEntry &op_units(Op op, const SharedUnits &a, const SharedUnits *b, std::uint64_t b_key,
                        Make &&raw) {
    OpEntry &e = memo().ops[slot_of(address(a.record()), b_key, static_cast<unsigned>(op) + 1,
                                    OP_SLOTS)];
    if (e.a != a.record() || e.b != b_key || e.op != op) {
        Normalised n = normalised(raw());
        e.result = std::move(n.form);
        e.raw = std::move(n.raw);
        e.keep_a = a;
        e.keep_b = b != nullptr ? *b : SharedUnits();
        e.a = a.record();
        e.b = b_key;
        e.op = op;
    }
    return e;
}

// The product or quotient's entry (mul or div), and the power's.
const OpEntry &product_entry(Op op, const SharedUnits &a, const SharedUnits &b) {
    return op_units(op, a, &b, address(b.record()), [&] {
        return op == Op::mul ? product(a.get(), b.get()) : quotient(a.get(), b.get());
    });
}
const OpEntry &power_entry(const SharedUnits &base, double n) {
    return op_units(Op::pow, base, nullptr, std::bit_cast<std::uint64_t>(n),
                    [&] { return pow(base.get(), n); });
}

// The other operand of a sum in the units of the first: as it is in the same units (so that
// x - x is 0 and x + x is 2x), else by the ratio of the factors, with the scale kept apart
// where that ratio's steps leave the double range. Zero points play no part in sums.
double added_in(double o, const SharedUnits &from, const SharedUnits &to) {
    if (from.record() == to.record()) return o;
    // The memoised conversion knows whether the units are the same.
    const Conversion &c = conversion_of(from, to);
    return c.kind == Conversion::Kind::same ? o : c.by_factors(o);
}

SharedQuantity finish(double raw_value, const OpEntry &e) {
    return {e.result.conversion.apply(raw_value), e.result.target};
}

}  // namespace

Result<double> convert(double v, const SharedUnits &from, const SharedUnits &to) {
    if (from.record() == to.record()) {
        // Compatible with itself unless NaN exponents say otherwise.
        if (is_compatible(from.get(), to.get())) return v;
    }
    const Conversion &c = conversion_of(from, to);
    if (c.kind == Conversion::Kind::refused)
        return std::unexpected(incompatible_units(as_string(from.get()), as_string(to.get())));
    return c.apply(v);
}

Result<SharedQuantity> apply(Op op, double s, const SharedUnits &su, double o,
                             const SharedUnits &ou, bool reflected) {
    switch (op) {
        case Op::add:
        case Op::sub: {
            if (!is_compatible(su.get(), ou.get()))
                return std::unexpected(
                    incompatible_units(as_string(su.get()), as_string(ou.get())));
            const double other = added_in(o, ou, su);
            double v;
            if (op == Op::add)
                v = other + s;
            else
                v = reflected ? other - s : s - other;
            const Derived &d = simple_form(su);
            return SharedQuantity{d.conversion.apply(v), d.target ? d.target : su};
        }
        case Op::mul: return finish(s * o, product_entry(op, su, ou));
        case Op::div:
            if (reflected) return finish(o / s, product_entry(op, ou, su));
            return finish(s / o, product_entry(op, su, ou));
        case Op::pow: {
            const double base = reflected ? o : s, exponent = reflected ? s : o;
            const SharedUnits &bu = reflected ? ou : su, &eu = reflected ? su : ou;
            double n = exponent;
            if (eu.record() != SharedUnits::unitless().record()) {
                Result<double> p = convert(exponent, eu, SharedUnits::unitless());
                if (!p) return std::unexpected(std::move(p.error()));
                n = *p;
            }
            return finish(power_of(base, n), power_entry(bu, n));
        }
    }
    return std::unexpected(incompatible_units("", ""));  // unreachable: every Op is handled
}

OperationUnits operation_units(Op op, const SharedUnits &a, const SharedUnits &b) {
    const OpEntry &e = product_entry(op, a, b);
    return {e.result, e.raw};
}

OperationUnits power_units(const SharedUnits &base, double n) {
    const OpEntry &e = power_entry(base, n);
    return {e.result, e.raw};
}

}  // namespace modrin
