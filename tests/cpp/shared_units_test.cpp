#include "unit/shared_units.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "unit/base_units.hpp"
#include "unit/number_text.hpp"
#include "unit/parse.hpp"
#include "unit/parse_cache.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"

namespace modrin {
namespace {

// The plain algebra the memoised one must reproduce bit for bit.
Result<Quantity> reference(Op op, Quantity s, Quantity o, bool reflected) {
    UnitCollection &sc = s.collection;
    switch (op) {
        case Op::add:
        case Op::sub: {
            if (!is_compatible(sc, o.collection))
                return std::unexpected(incompatible_units(as_string(sc), as_string(o.collection)));
            // The same units add as they are; others by their factors, the scale kept apart.
            Conversion by_factors{Conversion::Kind::factors, o.collection.factor, 0.0, 0.0,
                                  sc.factor, &o.collection, &sc};
            const double other =
                o.collection.units == sc.units ? o.value : by_factors.apply(o.value);
            const double v = op == Op::add ? other + s.value
                                           : (reflected ? other - s.value : s.value - other);
            return normalise(Quantity{v, std::move(sc)});
        }
        case Op::mul:
            return normalise(Quantity{s.value * o.value, product(std::move(sc), o.collection)});
        case Op::div:
            if (reflected)
                return normalise(Quantity{o.value / s.value, quotient(o.collection, sc)});
            return normalise(Quantity{s.value / o.value, quotient(std::move(sc), o.collection)});
        case Op::pow: {
            const Quantity &base = reflected ? o : s, &exponent = reflected ? s : o;
            Result<double> p =
                convert_number(exponent.value, exponent.collection, UnitCollection::unitless());
            if (!p) return std::unexpected(std::move(p.error()));
            return normalise(Quantity{std::pow(base.value, *p), pow(base.collection, *p)});
        }
    }
    return std::unexpected(incompatible_units("", ""));
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Equal entries in order, every number to the bit (NaN included).
bool same_collection(const UnitCollection &a, const UnitCollection &b) {
    if (a.units.size() != b.units.size() || !same_bits(a.factor, b.factor)) return false;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i)
        if (!same_bits(a.base_exponents[i], b.base_exponents[i])) return false;
    for (std::size_t i = 0; i < a.units.size(); ++i)
        if (&a.units[i].unit.def() != &b.units[i].unit.def() ||
            !same_bits(a.units[i].exponent, b.units[i].exponent))
            return false;
    return true;
}

// Random operands drawn from a pool of shared texts (so memo entries recur) and numbers.
struct Pool {
    std::vector<SharedUnits> units;
    std::mt19937_64 rng{20261209};
    Pool() {
        for (const char *t : {"m", "km", "s", "hr", "km/hr", "m/s", "kg", "g", "N", "J", "W",
                              "°C", "K", "°F", "m2/km", "J/K.mol", "N.m", "rad", "ft/s2", "1/s",
                              "lbf/g", "kg.J/N.m", "Hz", "mi", "psi", "Pa"})
            units.push_back(from_unit_name_cached(t));
        units.push_back(SharedUnits::unitless());
    }
    const SharedUnits &pick() { return units[rng() % units.size()]; }
    double number() {
        switch (rng() % 4) {
            case 0: return static_cast<double>(static_cast<int>(rng() % 9) - 4);
            case 1: return std::ldexp(static_cast<double>(rng() % 1000000), -int(rng() % 30));
            case 2: return std::bit_cast<double>(rng());  // any bits, NaN and inf included
            default: return 0.5;
        }
    }
};

TEST(SharedUnits, MemoisedAlgebraMatchesThePlainAlgebraBitForBit) {
    Pool pool;
    for (int trial = 0; trial < 20000; ++trial) {
        const Op op = static_cast<Op>(pool.rng() % 5);
        const bool reflected = pool.rng() % 2 == 0;
        const SharedUnits &su = pool.pick(), &ou = pool.pick();
        const double s = pool.number(), o = pool.number();
        Result<SharedQuantity> fast = apply(op, s, su, o, ou, reflected);
        Result<Quantity> slow = reference(op, {s, su.get()}, {o, ou.get()}, reflected);
        ASSERT_EQ(fast.has_value(), slow.has_value()) << trial;
        if (!fast) {
            EXPECT_EQ(fast.error(), slow.error());
            continue;
        }
        ASSERT_TRUE(same_bits(fast->value, slow->value)) << trial << " " << fast->value;
        ASSERT_EQ(plain_text(fast->units), as_string(slow->collection)) << trial;
        ASSERT_TRUE(same_collection(fast->units.get(), slow->collection)) << trial;
        // The derived forms agree with the plain functions too.
        const Derived &full = full_form(fast->units);
        Quantity shown = as_derived_units(*slow, simplify(slow->collection));
        const SharedUnits &target = full.target ? full.target : fast->units;
        EXPECT_TRUE(same_bits(full.conversion.apply(fast->value), shown.value)) << trial;
        EXPECT_EQ(plain_text(target), as_string(shown.collection)) << trial;
        const Derived &base = base_form(fast->units);
        Quantity in_base = in_base_units(*slow);
        EXPECT_TRUE(same_bits(base.conversion.apply(fast->value), in_base.value)) << trial;
        EXPECT_EQ(latex_text(fast->units), as_latex(slow->collection)) << trial;
        EXPECT_EQ(descriptive_text(fast->units), as_descriptive_string(slow->collection));
        Result<double> c = convert(fast->value, fast->units, ou);
        Result<double> d = convert_number(slow->value, slow->collection, ou.get());
        ASSERT_EQ(c.has_value(), d.has_value());
        if (c) {
            EXPECT_TRUE(same_bits(*c, *d)) << trial;
        }
    }
}

TEST(SharedUnits, CopiesShareOneRecordAndItsDerivedForms) {
    SharedUnits a(*from_unit_name("km/hr"));
    SharedUnits b = a;
    EXPECT_EQ(a.record(), b.record());
    EXPECT_EQ(&simple_form(a), &simple_form(b));  // computed once per record
    EXPECT_EQ(from_unit_name_cached("km/hr").record(), from_unit_name_cached("km/hr").record());
}

TEST(SharedUnits, ThreadsGetTheSameAnswers) {
    Pool pool;
    std::vector<std::string> expected;
    for (int i = 0; i < 2000; ++i) {
        auto r = apply(static_cast<Op>(i % 5), 1.5, pool.units[i % pool.units.size()], 2.0,
                       pool.units[(i * 7) % pool.units.size()], i % 3 == 0);
        expected.push_back(r ? number_text(r->value) + plain_text(full_form(r->units).target
                                                                      ? full_form(r->units).target
                                                                      : r->units)
                             : "refused");
    }
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int rep = 0; rep < 5; ++rep)
                for (int i = 0; i < 2000; ++i) {
                    auto r = apply(static_cast<Op>(i % 5), 1.5, pool.units[i % pool.units.size()],
                                   2.0, pool.units[(i * 7) % pool.units.size()], i % 3 == 0);
                    const Derived *f = r ? &full_form(r->units) : nullptr;
                    std::string got = r ? number_text(r->value) +
                                              plain_text(f->target ? f->target : r->units)
                                        : "refused";
                    if (got != expected[i]) ++wrong[t];
                }
        });
    for (auto &th : threads) th.join();
    for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
}  // namespace modrin
