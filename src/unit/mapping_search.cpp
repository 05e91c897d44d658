#include "unit/mapping_search.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <unordered_map>

#include "unit/small_vector.hpp"
#include <vector>

namespace modrin {

namespace {

// Candidate sums examined in all, over every layer; beyond it the caller keeps the
// collection as it is, which is correct, only unsimplified. A few milliseconds at most, so
// that no exponents make a rendering slow.
constexpr std::uint64_t WORK_BOUND = std::uint64_t{1} << 14;

struct VectorHash {
    std::size_t operator()(const BaseExponents &v) const {
        std::uint64_t h = 0xcbf29ce484222325ULL;
        for (double x : v) {
            h ^= std::bit_cast<std::uint64_t>(x + 0.0);  // -0 and +0 hash alike
            h *= 0x100000001b3ULL;
            h ^= h >> 29;
        }
        return h;
    }
};

// For a suffix of the units: each reachable sum of their contributions, with the fewest
// steps that reach it.
using Layer = std::unordered_map<BaseExponents, std::int64_t, VectorHash>;

BaseExponents add_scaled(const BaseExponents &v, const BaseExponents &d, std::int64_t x) {
    BaseExponents r = v;
    const double f = static_cast<double>(x);
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) r[i] = r[i] + d[i] * f + 0.0;
    return r;
}

// Small spaces are enumerated outright, with the exact test and no allocation beyond the
// candidate; the dynamic programme below pays for its tables only on larger ones.
constexpr std::uint64_t ENUMERATION_BOUND = 4096;

// True when delta vector a should win over b at equal cost: earlier units move further.
bool moves_earlier(const std::int64_t *a, const std::int64_t *b, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k)
        if (a[k] != b[k]) return a[k] > b[k];
    return false;
}

std::optional<ExponentAssignment> enumerate(const ExponentAssignment &start,
                                            const BaseExponents &target, const std::int64_t *lo,
                                            const std::int64_t *hi, const std::int64_t *from) {
    const std::size_t n = start.size();
    ExponentAssignment candidate = start;
    SmallVector<std::int64_t, 8> x, best, delta, best_delta;
    for (std::size_t k = 0; k < n; ++k) {
        x.push_back(lo[k]);
        best.push_back(0);
        delta.push_back(0);
        best_delta.push_back(0);
    }
    std::int64_t best_cost = -1;
    while (true) {
        std::int64_t cost = 0;
        for (std::size_t k = 0; k < n; ++k) {
            candidate.at(k) = static_cast<std::int32_t>(x[k]);
            delta[k] = std::llabs(x[k] - from[k]);
            cost += delta[k];
        }
        if ((best_cost < 0 || cost < best_cost ||
             (cost == best_cost && moves_earlier(delta.begin(), best_delta.begin(), n))) &&
            check_satisfies_base_units(candidate, target)) {
            best_cost = cost;
            best = x;
            best_delta = delta;
        }
        std::size_t k = 0;  // next combination, mixed radix
        while (k < n && x[k] == hi[k]) x[k] = lo[k], ++k;
        if (k == n) break;
        ++x[k];
    }
    if (best_cost < 0) return std::nullopt;
    for (std::size_t k = 0; k < n; ++k) candidate.at(k) = static_cast<std::int32_t>(best[k]);
    return candidate;
}

}  // namespace

// A dynamic programme over the units instead of a walk over assignments: whether a choice of
// exponents satisfies the target depends only on the sum of its contributions, so each layer
// keeps one entry per distinct sum, and interchangeable units collapse into few sums.
namespace {

enum class Strategy { automatic, enumeration, layers };

std::optional<ExponentAssignment> search(const ExponentAssignment &full,
                                         const ExponentAssignment &start,
                                         const BaseExponents &target, Strategy strategy) {
    const std::size_t n = start.size();
    if (full.size() != n) return std::nullopt;
    SmallVector<std::int64_t, 8> lo, hi, from;
    for (std::size_t k = 0; k < n; ++k) lo.push_back(0), hi.push_back(0), from.push_back(0);
    std::uint64_t work = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t s = start[k].exponent, f = full[k].exponent;
        from[k] = s;
        lo[k] = std::min(s, f);
        hi[k] = std::max(s, f);
        // Exponents only move away from zero towards their own value.
        if ((f > s && f <= 0) || (f < s && f >= 0)) lo[k] = hi[k] = s;
    }

    std::uint64_t space = 1;
    for (std::size_t k = 0; k < n && space <= ENUMERATION_BOUND; ++k)
        space *= static_cast<std::uint64_t>(hi[k] - lo[k] + 1);
    if (strategy == Strategy::enumeration ||
        (strategy == Strategy::automatic && space <= ENUMERATION_BOUND))
        return enumerate(start, target, lo.begin(), hi.begin(), from.begin());

    // layers[k]: sums reachable by units k..n-1, each with its fewest steps.
    std::vector<Layer> layers(n + 1);
    layers[n].emplace(BaseExponents{}, 0);
    for (std::size_t k = n; k-- > 0;) {
        const BaseExponents &d = start[k].unit.dimensions();
        const std::uint64_t width = static_cast<std::uint64_t>(hi[k] - lo[k] + 1);
        work += width * layers[k + 1].size();
        if (work > WORK_BOUND) return std::nullopt;
        Layer &layer = layers[k];
        for (const auto &[sum, cost] : layers[k + 1]) {
            for (std::int64_t x = lo[k]; x <= hi[k]; ++x) {
                const std::int64_t c = cost + std::llabs(x - from[k]);
                auto [it, fresh] = layer.try_emplace(add_scaled(sum, d, x), c);
                if (!fresh && c < it->second) it->second = c;
            }
        }
    }

    auto best = layers[0].find(target);
    if (best == layers[0].end()) return std::nullopt;

    // Walk forward, giving each unit in turn the largest move that still completes at the
    // fewest steps.
    ExponentAssignment result;
    result.reserve(n);
    BaseExponents prefix{};
    std::int64_t remaining = best->second;
    for (std::size_t k = 0; k < n; ++k) {
        const BaseExponents &d = start[k].unit.dimensions();
        bool placed = false;
        std::int64_t reach = std::max(hi[k] - from[k], from[k] - lo[k]);
        for (std::int64_t dist = reach; dist >= 0 && !placed; --dist) {
            for (std::int64_t x : {from[k] + dist, from[k] - dist}) {
                if (x < lo[k] || x > hi[k]) continue;
                BaseExponents after = add_scaled(prefix, d, x);
                BaseExponents need;
                for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) need[i] = target[i] - after[i] + 0.0;
                auto it = layers[k + 1].find(need);
                if (it == layers[k + 1].end() || it->second + dist != remaining) continue;
                result.append_new(start[k].unit, static_cast<std::int32_t>(x));
                prefix = after;
                remaining -= dist;
                placed = true;
                break;
            }
        }
        if (!placed) return std::nullopt;
    }
    // Sums of non-integer dimensions may round differently in the two directions; only an
    // exact match counts.
    if (!check_satisfies_base_units(result, target)) return std::nullopt;
    return result;
}

}  // namespace

// The same problem over whole dimensions, solved exactly in integers: moving unit j by t steps
// adds t times its signed dimension vector, so what a choice leaves to satisfy is one small
// integer vector. Tables of reachable sums grow from both ends of the unit list and meet in
// the middle, and a sum is dropped as soon as its steps plus a lower bound on the steps still
// needed exceed the cost of moving every unit all the way.
namespace {

// Eight 16-bit lanes, each holding a component plus LANE_ZERO, read as one 128-bit integer:
// adding two packed vectors is then a two-word addition with carry.
constexpr std::int64_t LANE_ZERO = std::int64_t{1} << 15;
// Components stay below this in magnitude, so no lane leaves its 16 bits.
constexpr std::int64_t LANE_LIMIT = std::int64_t{1} << 14;
constexpr std::int64_t STEP_LIMIT = 4096;
// Table insertions in all, a few milliseconds; beyond it the answer of the problem scaled
// down stands, if there is one, else the collection stays as it is.
constexpr std::uint64_t FAST_WORK_BOUND = std::uint64_t{1} << 14;

using Vector = std::array<std::int64_t, BASE_DIMENSIONS>;

struct Key {
    std::uint64_t lo = 0, hi = 0;
    friend bool operator==(Key, Key) = default;
};

Key plus(Key a, Key b) {
    Key r{a.lo + b.lo, a.hi + b.hi};
    r.hi += r.lo < a.lo;
    return r;
}

Key minus(Key a, Key b) {
    Key r{a.lo - b.lo, a.hi - b.hi};
    r.hi -= a.lo < b.lo;
    return r;
}

// The lanes of v without offset, as an integer modulo 2^128.
Key encode(const Vector &v) {
    Key r;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
        const std::uint64_t mag = static_cast<std::uint64_t>(v[i] < 0 ? -v[i] : v[i]);
        const unsigned shift = static_cast<unsigned>(16 * (i % 4));
        Key term = i < 4 ? Key{mag << shift, shift == 0 ? 0 : mag >> (64 - shift)}
                         : Key{0, mag << shift};
        r = v[i] < 0 ? minus(r, term) : plus(r, term);
    }
    return r;
}

std::int64_t lane(Key k, std::size_t i) {
    const std::uint64_t word = i < 4 ? k.lo : k.hi;
    return static_cast<std::int64_t>((word >> (16 * (i % 4))) & 0xFFFF) - LANE_ZERO;
}

struct Slot {
    Key key;  // all-zero lanes never occur, so the zero key marks a free slot
    std::int32_t cost;
    bool good;
};

// Slot arrays go back to a small per-thread pool between searches: where page faults are dear
// (virtual machines), touching fresh pages cost more than the search itself.
class SlotPool {
public:
    static SlotPool &of_this_thread() {
        static thread_local SlotPool pool;
        return pool;
    }

    // n empty slots, in the smallest spare array that holds them.
    std::vector<Slot> take(std::size_t n) {
        std::size_t pick = spare_.size();
        for (std::size_t i = 0; i < spare_.size(); ++i)
            if (spare_[i].capacity() >= n &&
                (pick == spare_.size() || spare_[i].capacity() < spare_[pick].capacity()))
                pick = i;
        if (pick == spare_.size()) return std::vector<Slot>(n);
        std::vector<Slot> v = std::move(spare_[pick]);
        spare_.erase(spare_.begin() + static_cast<std::ptrdiff_t>(pick));
        held_ -= v.capacity();
        v.assign(n, Slot{});
        return v;
    }

    void give(std::vector<Slot> &&v) noexcept {
        if (v.capacity() == 0 || held_ + v.capacity() > MOST_HELD) return;  // freed
        try {
            spare_.push_back(std::move(v));
            held_ += spare_.back().capacity();
        } catch (...) {  // out of memory: the array is simply freed
        }
    }

private:
    static constexpr std::size_t MOST_HELD = std::size_t{1} << 17;  // slots, 3 MiB
    std::vector<std::vector<Slot>> spare_;
    std::size_t held_ = 0;
};

// Open addressing with linear probing; the order of slots depends on the keys alone.
class Table {
public:
    Table() : slots_(SlotPool::of_this_thread().take(16)), mask_(15) {}
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;
    ~Table() { SlotPool::of_this_thread().give(std::move(slots_)); }

    std::size_t size() const { return size_; }
    const std::vector<Slot> &slots() const { return slots_; }
    std::vector<Slot> &slots() { return slots_; }

    Slot *find(Key k) {
        for (std::size_t i = index(k);; i = (i + 1) & mask_) {
            if (slots_[i].key == k) return &slots_[i];
            if (slots_[i].key == Key{}) return nullptr;
        }
    }

    void offer(Key k, std::int32_t cost) {
        if (2 * (size_ + 1) > slots_.size()) grow();
        for (std::size_t i = index(k);; i = (i + 1) & mask_) {
            Slot &s = slots_[i];
            if (s.key == k) {
                if (cost < s.cost) s.cost = cost;
                return;
            }
            if (s.key == Key{}) {
                s = {k, cost, false};
                ++size_;
                return;
            }
        }
    }

private:
    std::size_t index(Key k) const {
        // Every lane reaches the low bits, which pick the slot.
        std::uint64_t h = k.lo * 0x9e3779b97f4a7c15ULL ^ std::rotl(k.hi * 0xc2b2ae3d27d4eb4fULL, 31);
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return static_cast<std::size_t>(h) & mask_;
    }
    void grow() {
        std::vector<Slot> old = SlotPool::of_this_thread().take(slots_.size() * 2);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        size_ = 0;
        for (const Slot &s : old)
            if (!(s.key == Key{})) offer(s.key, s.cost);
        SlotPool::of_this_thread().give(std::move(old));
    }

    std::vector<Slot> slots_;
    std::size_t mask_;
    std::size_t size_ = 0;
};

// What a set of units can still contribute per dimension: the largest single step either way
// and the total reach either way.
struct Reach {
    Vector up{}, down{}, most_up{}, most_down{};

    void add(const Vector &e, std::int64_t m) {
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
            if (e[i] > 0) up[i] = std::max(up[i], e[i]), most_up[i] += e[i] * m;
            if (e[i] < 0) down[i] = std::max(down[i], -e[i]), most_down[i] -= e[i] * m;
        }
    }

    // Fewest steps that could cover r, or -1 when r is out of reach.
    std::int64_t lower_bound(const Vector &r) const {
        std::int64_t steps = 0;
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
            if (r[i] > 0) {
                if (r[i] > most_up[i]) return -1;
                steps = std::max(steps, (r[i] + up[i] - 1) / up[i]);
            } else if (r[i] < 0) {
                if (-r[i] > most_down[i]) return -1;
                steps = std::max(steps, (-r[i] + down[i] - 1) / down[i]);
            }
        }
        return steps;
    }
};

struct Outcome {
    enum class Why : std::uint8_t { decided, not_whole, past_bound } why;
    std::optional<ExponentAssignment> result;
    bool decided() const { return why == Why::decided; }
};

struct Mover {
    std::size_t unit;       // index in the assignment
    std::int64_t sign, m;   // direction and most steps
    Vector e;               // dimension times direction
    std::vector<Key> step;  // encoded e * t for t = 0..m
};

bool whole(double x, double limit) { return std::fabs(x) <= limit && x == std::trunc(x); }

// `ceiling`: the steps of an answer known already, so that no dearer sum is kept.
Outcome search_whole_dimensions(const ExponentAssignment &full, const ExponentAssignment &start,
                                const BaseExponents &target, std::int64_t ceiling) {
    const Outcome undecided{Outcome::Why::not_whole, std::nullopt};
    const Outcome past_bound{Outcome::Why::past_bound, std::nullopt};
    const Outcome none{Outcome::Why::decided, std::nullopt};
    const std::size_t n = start.size();
    if (full.size() != n) return undecided;

    Vector residual{};
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
        if (!whole(target[i], 1e12)) return undecided;
        residual[i] = static_cast<std::int64_t>(target[i]);
    }
    std::vector<Mover> movers;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t s = start[k].exponent, f = full[k].exponent;
        const BaseExponents &d = start[k].unit.dimensions();
        Vector e{};
        bool moves = false;
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
            if (!whole(d[i], 256.0)) return undecided;
            e[i] = static_cast<std::int64_t>(d[i]);
            residual[i] -= e[i] * s;
            moves = moves || e[i] != 0;
        }
        // Units that cannot move, or whose moves change nothing and so only cost, stay put.
        if ((f > s && f <= 0) || (f < s && f >= 0) || f == s || !moves) continue;
        const std::int64_t sign = f > s ? 1 : -1, m = (f - s) * sign;
        if (m > STEP_LIMIT) return undecided;
        for (std::int64_t &x : e) x *= sign;
        movers.push_back({k, sign, m, e, {}});
    }
    const std::size_t count = movers.size();

    // after[j]: what movers j.. can do; before[j]: what movers ..j-1 can do.
    std::vector<Reach> after(count + 1), before(count + 1);
    for (std::size_t j = count; j-- > 0;) (after[j] = after[j + 1]).add(movers[j].e, movers[j].m);
    for (std::size_t j = 0; j < count; ++j) (before[j + 1] = before[j]).add(movers[j].e, movers[j].m);
    if (after[0].lower_bound(residual) < 0) return none;
    for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) {
        if (after[0].most_up[i] + after[0].most_down[i] >= LANE_LIMIT) return undecided;
    }
    std::int64_t all_the_way = 0;
    for (const Mover &mv : movers) all_the_way += mv.m;
    ceiling = std::min(ceiling, all_the_way);
    for (Mover &mv : movers) {
        Vector v{};
        for (std::int64_t t = 0; t <= mv.m; ++t) {
            mv.step.push_back(encode(v));
            for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) v[i] += mv.e[i];
        }
    }
    Vector zero_lanes;
    zero_lanes.fill(LANE_ZERO);
    const Key origin = encode(zero_lanes);
    // key(residual - v) = mirror - key(v)
    const Key mirror = plus(plus(encode(residual), origin), origin);
    auto decode = [](Key k) {
        Vector v;
        for (std::size_t i = 0; i < BASE_DIMENSIONS; ++i) v[i] = lane(k, i);
        return v;
    };
    auto steps_needed = [&](const Reach &reach, Key covered) {
        Vector r = decode(minus(mirror, covered));
        return reach.lower_bound(r);
    };

    // forward[j]: sums of movers ..j-1; backward[j]: sums of movers j..; each with fewest steps.
    std::vector<Table> forward(count + 1), backward(count + 1);
    forward[0].offer(origin, 0);
    backward[count].offer(origin, 0);
    std::size_t f = 0, b = count;
    std::uint64_t work = 0;
    auto extend = [&](Table &from, Table &to, const Mover &mv, const Reach &rest) {
        for (const Slot &s : from.slots()) {
            if (s.key == Key{}) continue;
            for (std::int64_t t = 0; t <= mv.m; ++t) {
                const std::int64_t cost = s.cost + t;
                if (cost > ceiling) break;
                const Key k = plus(s.key, mv.step[static_cast<std::size_t>(t)]);
                const std::int64_t need = steps_needed(rest, k);
                if (need < 0 || cost + need > ceiling) continue;
                to.offer(k, static_cast<std::int32_t>(cost));
            }
        }
    };
    // Tables grow until one mover is left between them; that one is tried in place, since
    // tabling its sums would cost the most of all.
    while (f + 1 < b) {
        const std::uint64_t ahead = forward[f].size() * static_cast<std::uint64_t>(movers[f].m + 1);
        const std::uint64_t behind =
            backward[b].size() * static_cast<std::uint64_t>(movers[b - 1].m + 1);
        work += std::min(ahead, behind);
        if (work > FAST_WORK_BOUND) return past_bound;
        if (ahead <= behind) {
            extend(forward[f], forward[f + 1], movers[f], after[f + 1]);
            ++f;
        } else {
            extend(backward[b], backward[b - 1], movers[b - 1], before[b - 1]);
            --b;
        }
    }
    const bool bridge = f < b;
    if (bridge) {
        work += forward[f].size() * static_cast<std::uint64_t>(movers[f].m + 1);
        if (work > FAST_WORK_BOUND) return past_bound;
    }
    // The fewest steps of a whole path through sum s, or -1 when none completes.
    auto through = [&](const Slot &s) {
        if (!bridge) {
            const Slot *rest = backward[f].find(minus(mirror, s.key));
            return rest ? s.cost + std::int64_t{rest->cost} : std::int64_t{-1};
        }
        std::int64_t c = -1;
        for (std::int64_t t = 0; t <= movers[f].m; ++t) {
            const Key k = plus(s.key, movers[f].step[static_cast<std::size_t>(t)]);
            if (const Slot *rest = backward[f + 1].find(minus(mirror, k)))
                if (c < 0 || s.cost + t + rest->cost < c) c = s.cost + t + rest->cost;
        }
        return c;
    };

    // Where the halves meet: the fewest steps in all, and which sums lie on such a path.
    std::vector<std::int64_t> via(forward[f].slots().size(), -1);
    std::int64_t best = -1;
    for (std::size_t i = 0; i < via.size(); ++i) {
        const Slot &s = forward[f].slots()[i];
        if (s.key == Key{}) continue;
        via[i] = through(s);
        if (via[i] >= 0 && (best < 0 || via[i] < best)) best = via[i];
    }
    if (best < 0) return none;
    for (std::size_t i = 0; i < via.size(); ++i) forward[f].slots()[i].good = via[i] == best;
    // A prefix of a cheapest path is itself reached at its fewest steps, so a sum is on one
    // exactly when a good successor is reached from it by its own step.
    for (std::size_t j = f; j-- > 0;) {
        for (const Slot &s : forward[j + 1].slots()) {
            if (!s.good) continue;
            for (std::int64_t t = 0; t <= movers[j].m && t <= s.cost; ++t) {
                Slot *p = forward[j].find(minus(s.key, movers[j].step[static_cast<std::size_t>(t)]));
                if (p && p->cost + t == s.cost) p->good = true;
            }
        }
    }

    // Each mover in turn takes the largest move that still completes at the fewest steps.
    std::vector<std::int64_t> moved(n, 0);
    Key sum = origin;
    std::int64_t spent = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const Mover &mv = movers[j];
        bool placed = false;
        for (std::int64_t t = mv.m; t >= 0 && !placed; --t) {
            const Key k = plus(sum, mv.step[static_cast<std::size_t>(t)]);
            if (j < f) {
                const Slot *s = forward[j + 1].find(k);
                placed = s && s->good && s->cost == spent + t;
            } else {
                const Slot *s = backward[j + 1].find(minus(mirror, k));
                placed = s && spent + t + s->cost == best;
            }
            if (placed) {
                sum = k;
                spent += t;
                moved[mv.unit] = t * mv.sign;
            }
        }
        if (!placed) return undecided;
    }
    ExponentAssignment result;
    result.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
        result.append_new(start[k].unit, static_cast<std::int32_t>(start[k].exponent + moved[k]));
    if (!check_satisfies_base_units(result, target)) return undecided;
    return {Outcome::Why::decided, std::move(result)};
}

std::int64_t steps_between(const ExponentAssignment &a, const ExponentAssignment &start) {
    std::int64_t steps = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        steps += std::llabs(std::int64_t{a[k].exponent} - start[k].exponent);
    return steps;
}

// Large exponents that share a factor, such as (W.s.C/J.A)^950, make the exact search's
// tables huge while the same problem divided by that factor is small. Its answer, scaled
// back, is a valid one (perhaps not the cheapest), found in a few steps.
std::optional<ExponentAssignment> scaled_down_answer(const ExponentAssignment &full,
                                                     const ExponentAssignment &start,
                                                     const BaseExponents &target) {
    std::int64_t g = 0;
    for (std::size_t k = 0; k < full.size(); ++k)
        g = std::gcd(g, std::gcd(std::int64_t{full[k].exponent}, std::int64_t{start[k].exponent}));
    for (double t : target) {
        if (!whole(t, 1e12)) return std::nullopt;
        g = std::gcd(g, static_cast<std::int64_t>(t));
    }
    if (g < 2) return std::nullopt;
    ExponentAssignment small_full = full, small_start = start;
    BaseExponents small_target = target;
    for (std::size_t k = 0; k < full.size(); ++k) {
        small_full.at(k) = static_cast<std::int32_t>(full[k].exponent / g);
        small_start.at(k) = static_cast<std::int32_t>(start[k].exponent / g);
    }
    for (double &t : small_target) t = static_cast<double>(static_cast<std::int64_t>(t) / g) + 0.0;
    std::optional<ExponentAssignment> small = simplify_mapping_algorithm(small_full, small_start,
                                                                         small_target);
    if (!small) return std::nullopt;
    for (std::size_t k = 0; k < small->size(); ++k)
        small->at(k) = static_cast<std::int32_t>(std::int64_t{(*small)[k].exponent} * g);
    if (!check_satisfies_base_units(*small, target)) return std::nullopt;
    return small;
}

}  // namespace

std::optional<ExponentAssignment> simplify_mapping_algorithm(const ExponentAssignment &full,
                                                             const ExponentAssignment &start,
                                                             const BaseExponents &target) {
    std::optional<ExponentAssignment> coarse = scaled_down_answer(full, start, target);
    const std::int64_t ceiling =
        coarse ? steps_between(*coarse, start) : std::numeric_limits<std::int64_t>::max();
    Outcome fast = search_whole_dimensions(full, start, target, ceiling);
    if (fast.decided()) return std::move(fast.result);
    // The plain search prunes less, so it would only spend its own bound as well.
    if (fast.why == Outcome::Why::past_bound) return coarse;
    std::optional<ExponentAssignment> plain = search(full, start, target, Strategy::automatic);
    return plain ? plain : coarse;
}

namespace detail {
std::optional<ExponentAssignment> search_reference(const ExponentAssignment &full,
                                                   const ExponentAssignment &start,
                                                   const BaseExponents &target) {
    return search(full, start, target, Strategy::automatic);
}
std::optional<ExponentAssignment> search_by_enumeration(const ExponentAssignment &full,
                                                        const ExponentAssignment &start,
                                                        const BaseExponents &target) {
    return search(full, start, target, Strategy::enumeration);
}
std::optional<ExponentAssignment> search_by_layers(const ExponentAssignment &full,
                                                   const ExponentAssignment &start,
                                                   const BaseExponents &target) {
    return search(full, start, target, Strategy::layers);
}
}  // namespace detail

}  // namespace modrin
