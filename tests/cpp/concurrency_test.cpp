// Many threads on every structure the core shares between threads, each answer compared with
// the one a single thread gives, and on the free-threaded access flag. Under ThreadSanitizer
// (./dev tsan) a race fails the run even when every answer happens to agree.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lib/access_flag.hpp"
#include "unit/collection.hpp"
#include "unit/element_loops.hpp"
#include "unit/parse.hpp"
#include "unit/parse_cache.hpp"
#include "unit/render.hpp"
#include "unit/shared_units.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_defs/lookup.hpp"
#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

namespace modrin {
namespace {

constexpr std::size_t THREADS = 8;
constexpr std::size_t ROWS = BASE_UNITS.size() + UNITS.size();

const UnitDef &row_at(std::size_t i) {
    return i < BASE_UNITS.size() ? BASE_UNITS[i] : UNITS[i - BASE_UNITS.size()];
}

std::string bits(double x) { return std::to_string(std::bit_cast<std::uint64_t>(x)); }

// The answer in full: entries in order, signature and factor bits, and the record addresses,
// so two threads that intern the same unit twice disagree.
std::string describe(const UnitCollection &c) {
    std::string out = as_string(c) + " " + bits(c.factor);
    for (const auto &[unit, e] : c.units) {
        char addr[32];
        std::snprintf(addr, sizeof addr, " %p:", static_cast<const void *>(&unit.def()));
        out += addr + std::string(unit.name()) + "^" + bits(e);
    }
    for (double b : c.base_exponents) out += " " + bits(b);
    return out;
}

std::string describe(const std::optional<UnitCollection> &c) {
    return c ? describe(*c) : std::string("nothing");
}

// Symbols to combine into expressions: plain, prefixed and aliased units.
constexpr std::string_view WORDS[] = {
    "m",   "s",  "kg", "J",   "N",  "W",   "K",   "mol", "A",  "cd",  "km", "hr",  "min", "g",
    "mm",  "ms", "Pa", "bar", "ft", "in",  "mi",  "lb",  "V",  "ohm", "Hz", "kJ",  "MW",  "uF",
    "GHz", "L",  "cal", "eV", "d",  "deg C", "kWh", "psi", "atm", "nm", "kPa", "mT"};
constexpr std::size_t WORD_COUNT = std::size(WORDS);

// A shared structure under stress: `step(i)` performs operation i and describes its answer;
// `reference(i)` gives the same answer without the structure, or is null where the step run
// by one thread is the reference. A structure that becomes shared is covered by adding its
// row to WORKLOADS.
struct Workload {
    const char *name;
    std::size_t steps;
    std::string (*step)(std::size_t i);
    std::string (*reference)(std::size_t i) = nullptr;
};

// The hash indexes behind name, symbol and alias lookup, built on first use.
std::string lookup_step(std::size_t i) {
    const std::size_t r = i % ROWS;
    const std::string_view text = i / ROWS % 2 == 0 ? row_at(r).name : row_at(r).symbol;
    const UnitDef *by_name = query_unit_names_internal(text, true);
    const UnitDef *by_symbol = query_unit_symbols_internal(text);
    const std::optional<SingleUnit> found = search_for_unit_name(text);
    return std::string(by_name ? by_name->name : "-") + "|" +
           std::string(by_symbol ? by_symbol->name : "-") + "|" +
           (found ? describe(coerce_unit_to_collection(*found)) : "-");
}

// Every (prefix, row) pair, by prefix name and by prefix symbol: the records interned once.
std::string interning_step(std::size_t i) {
    const UnitPrefix &p = PREFIXES[i % PREFIXES.size()];
    const UnitDef &row = row_at(i / PREFIXES.size() % ROWS);
    const std::string text = i / (PREFIXES.size() * ROWS) % 2 == 0
                                 ? std::string(p.name) + std::string(row.name)
                                 : std::string(p.symbol) + std::string(row.symbol);
    const std::optional<SingleUnit> found = search_for_unit_name(text);
    return found ? describe(coerce_unit_to_collection(*found)) : "nothing";
}

// More distinct texts than the memo holds, so shards fill and empty while others read.
std::string text_of(std::size_t i) {
    const std::size_t a = i % WORD_COUNT, b = i / WORD_COUNT % WORD_COUNT;
    const std::size_t c = i / (WORD_COUNT * WORD_COUNT) % WORD_COUNT;
    return std::string(WORDS[a]) + "." + std::string(WORDS[b]) + std::to_string(1 + i % 3) +
           "/" + std::string(WORDS[c]);
}

UnitCollection parsed_or(std::size_t i, const UnitCollection &otherwise) {
    SharedUnits u = from_unit_name_cached(text_of(i));
    return u ? u.get() : otherwise;
}

std::string parse_memo_step(std::size_t i) {
    SharedUnits u = from_unit_name_cached(text_of(i));
    return u ? describe(u.get()) : std::string("nothing");
}
std::string parse_step(std::size_t i) { return describe(from_unit_name(text_of(i))); }

// Powers of catalogue factors, whole and fractional, through the memo of pow's results.
double power_base(std::size_t i) {
    return row_at(i % ROWS).factor * PREFIXES[i / ROWS % PREFIXES.size()].value;
}
double power_exponent(std::size_t i) {
    return static_cast<double>(i % 23) / (1.0 + static_cast<double>(i % 3)) - 7.0;
}
std::string power_memo_step(std::size_t i) {
    return bits(unit_power(power_base(i), power_exponent(i)));
}
std::string power_step(std::size_t i) { return bits(std::pow(power_base(i), power_exponent(i))); }

// Custom units made once and shared by every thread: their records are reference counted.
const std::vector<SingleUnit> &custom_units() {
    static const std::vector<SingleUnit> units = [] {
        std::vector<SingleUnit> u;
        for (std::size_t k = 0; k < 12; ++k) {
            const UnitDef &row = row_at(8 + k * 7 % UNITS.size());
            u.push_back(SingleUnit::make("custom" + std::to_string(k), "c" + std::to_string(k),
                                         row.factor * static_cast<double>(k + 2), 0.0,
                                         row.dimensions));
        }
        return u;
    }();
    return units;
}

// Products and quotients of shared parsed and custom units, simplified both ways.
std::string simplification_step(std::size_t i) {
    const std::vector<SingleUnit> &custom = custom_units();
    UnitCollection c = parsed_or(i * 7919, UnitCollection{});
    c = product(std::move(c), coerce_unit_to_collection(custom[i % custom.size()]));
    c = quotient(std::move(c), coerce_unit_to_collection(custom[i / 3 % custom.size()]));
    c = product(std::move(c), pow(parsed_or(i * 31, c), 2.0));
    return describe(simple_simplify(c)) + " / " + describe(simplify(c));
}

// The memoised algebra on records every thread shares (from the parse memo): derived forms
// are computed once per record by whichever thread comes first, and counts move everywhere.
std::string shared_algebra_step(std::size_t i) {
    SharedUnits a = from_unit_name_cached(text_of(i % 200)),
                b = from_unit_name_cached(text_of(i / 200 % 200));
    if (!a || !b) return "nothing";
    Result<SharedQuantity> r = apply(static_cast<Op>(i % 5), 1.5, a, 0.5 + i % 3, b, i % 2 == 0);
    if (!r) return message(r.error());
    const Derived &full = full_form(r->units);
    const SharedUnits &shown = full.target ? full.target : r->units;
    return bits(r->value) + " " + describe(r->units.get()) + " " + plain_text(shown) + " " +
           latex_text(r->units) + " " + bits(base_form(r->units).conversion.apply(r->value));
}

// Numbers every thread reads at once: ordinary ones, zeros, NaN, and magnitudes at the ends of
// the double range, where conversions take the scalar rescue.
const std::vector<double> &loop_numbers() {
    static const std::vector<double> numbers = [] {
        std::vector<double> v;
        for (int j = 0; j < 3 * 4200; ++j) {
            const int k = j % 300;
            v.push_back(k % 7 == 0   ? (k % 2 == 0 ? 0.0 : NAN)
                        : k % 5 == 0 ? std::ldexp(1.0 + k / 300.0, k % 2 == 0 ? 1020 : -1070)
                                     : (k - 150) * 0.37);
        }
        return v;
    }();
    return numbers;
}

// A fingerprint of the loop's output bits.
template <class T>
std::string fingerprint(const std::vector<T> &out) {
    std::uint64_t h = 14695981039346656037ULL;
    for (const T &x : out) {
        std::uint64_t b = 0;
        std::memcpy(&b, &x, sizeof x);
        h = (h ^ b) * 1099511628211ULL;
    }
    return std::to_string(h);
}

// The element loops on shared records and shared inputs: a sum and a comparison with the base
// units' form, a conversion into it, and a product or quotient with another record.
std::string element_loops_step(std::size_t i) {
    SharedUnits a = from_unit_name_cached(text_of(i % 200)),
                b = from_unit_name_cached(text_of(i / 200 % 200));
    if (!a || !b) return "nothing";
    const Derived &base = base_form(a);
    const SharedUnits &t = base.target ? base.target : a;
    const std::vector<double> &x = loop_numbers();
    // The second operand walks up to two steps apart; one step in eight is long enough for
    // the loops' divisions through shared reciprocals.
    const std::size_t n = i % 8 == 0 ? x.size() / 3 : 100;
    const Input s{reinterpret_cast<const char *>(x.data()), sizeof(double)},
        o{reinterpret_cast<const char *>(x.data() + n), static_cast<std::ptrdiff_t>(i % 3) * 8};
    std::vector<double> out(n);
    std::vector<unsigned char> flags(n);
    auto place = [](auto &v) { return Output{reinterpret_cast<char *>(v.data()), sizeof v[0]}; };
    std::string answer;
    if (Result<OperationPlan> sum = plan_operation(i % 2 ? Op::add : Op::sub, a, t, i % 3 == 0)) {
        operate_elements(*sum, n, s, o, place(out));
        answer += plain_text(sum->units) + fingerprint(out);
    }
    if (Result<ConversionPlan> c = plan_conversion(t, a)) {
        compare_elements(*c, static_cast<Comparison>(i % 6), n, s, o, place(flags));
        convert_elements(*c, n, o, place(out));
        answer += " " + fingerprint(flags) + " " + fingerprint(out);
    }
    if (Result<OperationPlan> p = plan_operation(i % 4 < 2 ? Op::mul : Op::div, a, b, i % 5 == 0)) {
        operate_elements(*p, n, s, o, place(out));
        answer += " " + plain_text(p->units) + fingerprint(out);
    }
    return answer;
}

// In the order of first use: the indexes and interned records are first built here.
const Workload WORKLOADS[] = {
    {"lookup_indexes", 4 * ROWS, lookup_step},
    {"prefix_interning", 2 * PREFIXES.size() * ROWS, interning_step},
    {"parse_memo", 3 * WORD_COUNT * WORD_COUNT, parse_memo_step, parse_step},
    {"power_memo", 4000, power_memo_step, power_step},
    {"simplification", 1500, simplification_step},
    {"shared_algebra", 40000, shared_algebra_step},
    {"element_loops", 2000, element_loops_step},
};

class SharedStructure : public testing::TestWithParam<Workload> {};

// The threads start at one barrier and walk all steps from different offsets, so they meet on
// the same entries both at first use and afterwards; only then does one thread compute the
// reference, so first-use races happen among the eight.
TEST_P(SharedStructure, ManyThreadsGiveTheSingleThreadedAnswers) {
    const Workload &w = GetParam();
    std::vector<std::vector<std::string>> seen(THREADS, std::vector<std::string>(w.steps));
    std::barrier start(static_cast<std::ptrdiff_t>(THREADS));
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < THREADS; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                const std::size_t offset = t * (w.steps / THREADS) / 2;
                for (std::size_t k = 0; k < w.steps; ++k) {
                    const std::size_t i = (k + offset) % w.steps;
                    seen[t][i] = w.step(i);
                }
            });
        }
    }
    for (std::size_t i = 0; i < w.steps; ++i) {
        const std::string alone = (w.reference != nullptr ? w.reference : w.step)(i);
        for (std::size_t t = 0; t < THREADS; ++t)
            ASSERT_EQ(seen[t][i], alone) << "thread " << t << ", step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Core, SharedStructure, testing::ValuesIn(WORKLOADS),
                         [](const testing::TestParamInfo<Workload> &p) {
                             return std::string(p.param.name);
                         });

// The free-threaded access flag, built whatever this build's interpreter is.
using AtomicFlag = py::BasicAccessFlag<py::FlagWord::atomic>;

// 48-bit payloads that differ at both ends, so a carry or borrow into the count shows.
std::uintptr_t payload_for(std::uint64_t n) { return (n * 0x9E3779B97F4A7C15u) >> 16; }

// A counter that orders nothing, so that only the flag keeps the guarded words free of races
// in ThreadSanitizer's eyes.
class Tally {
public:
    std::uint64_t up() { return n_.fetch_add(1, std::memory_order_relaxed) + 1; }
    void down() { n_.fetch_sub(1, std::memory_order_relaxed); }
    std::uint64_t get() const { return n_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> n_{0};
};

// Every fourth attempt is a writer's: it bumps plain guarded words and moves the payload with
// them, while readers expect equal words and the matching payload. A breach, a lost update or
// a race that ThreadSanitizer sees means two holders overlapped. A refused thread yields, so
// holds interleave finely even on few cores.
TEST(AtomicAccessFlag, HoldersExcludeEachOtherAndBouncingLeavesThePayload) {
    constexpr std::uint64_t HOLDS = 10000;  // per thread
    AtomicFlag flag;
    flag.set_payload(payload_for(0));
    std::uint64_t guarded[4] = {};
    Tally readers, writers, written, breaches;
    const auto write = [&] {
        if (!flag.try_exclusive()) return false;
        if (writers.up() != 1 || readers.get() != 0) breaches.up();
        const std::uint64_t n = guarded[0] + 1;
        for (std::uint64_t &g : guarded) g = n;
        flag.set_payload(payload_for(n));
        if (flag.payload() != payload_for(n)) breaches.up();
        writers.down();
        written.up();
        flag.release_exclusive();
        return true;
    };
    const auto read = [&] {
        if (!flag.try_shared()) return false;
        readers.up();
        if (writers.get() != 0) breaches.up();
        const std::uint64_t n = guarded[0];
        for (std::uint64_t g : guarded)
            if (g != n) breaches.up();
        if (flag.payload() != payload_for(n)) breaches.up();
        readers.down();
        flag.release_shared();
        return true;
    };
    std::barrier start(static_cast<std::ptrdiff_t>(THREADS));
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < THREADS; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (std::uint64_t i = t, held = 0; held < HOLDS; ++i) {
                    if (i % 4 == 0 ? write() : read()) {
                        ++held;
                    } else {
                        std::this_thread::yield();
                    }
                }
            });
        }
    }
    EXPECT_EQ(breaches.get(), 0u);
    EXPECT_GT(written.get(), 0u);
    EXPECT_EQ(guarded[0], written.get());
    ASSERT_TRUE(flag.try_exclusive()) << "holds or bounces left in the count";
    EXPECT_EQ(flag.payload(), payload_for(written.get()));
}

// While the test holds the flag, eight threads try both kinds of access: what conflicts is
// refused at once, so they all finish while the hold lasts, what does not is granted, and an
// exclusive holder's payload changes survive their bouncing.
class HeldAtomicFlag : public testing::TestWithParam<bool> {};

TEST_P(HeldAtomicFlag, RefusesConflictingAttemptsWithoutWaiting) {
    const bool exclusive = GetParam();
    constexpr std::size_t ATTEMPTS = 100000;
    AtomicFlag flag;
    flag.set_payload(payload_for(0));
    ASSERT_TRUE(exclusive ? flag.try_exclusive() : flag.try_shared());
    std::atomic<std::uint64_t> shared_grants{0}, exclusive_grants{0};
    std::atomic<std::size_t> finished{0};
    std::vector<std::jthread> threads;
    for (std::size_t t = 0; t < THREADS; ++t) {
        threads.emplace_back([&] {
            for (std::size_t i = 0; i < ATTEMPTS; ++i) {
                if (flag.try_shared()) {
                    ++shared_grants;
                    flag.release_shared();
                }
                if (flag.try_exclusive()) {
                    ++exclusive_grants;
                    flag.release_exclusive();
                }
            }
            ++finished;
        });
    }
    std::uint64_t n = 0, disturbed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (finished < THREADS && std::chrono::steady_clock::now() < deadline) {
        if (exclusive) flag.set_payload(payload_for(++n));
        if (flag.payload() != payload_for(n)) ++disturbed;
    }
    EXPECT_EQ(finished.load(), THREADS) << "a refused attempt waited for the holder";
    if (exclusive) {
        flag.release_exclusive();
    } else {
        flag.release_shared();
    }
    threads.clear();
    EXPECT_EQ(disturbed, 0u);
    EXPECT_EQ(exclusive_grants.load(), 0u);
    EXPECT_EQ(shared_grants.load(), exclusive ? 0u : THREADS * ATTEMPTS);
    ASSERT_TRUE(flag.try_exclusive()) << "holds or bounces left in the count";
    EXPECT_EQ(flag.payload(), payload_for(n));
}

INSTANTIATE_TEST_SUITE_P(AtomicAccessFlag, HeldAtomicFlag, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &p) {
                             return std::string(p.param ? "exclusive" : "shared");
                         });

}  // namespace
}  // namespace modrin
