#include "unit/mapping_search.hpp"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "unit/small_vector.hpp"
#include <vector>

namespace modrin {

namespace {

// Candidate sums examined in all, over every layer; beyond it the caller keeps the
// collection as it is, which is correct, only unsimplified.
constexpr std::uint64_t WORK_BOUND = std::uint64_t{1} << 20;

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

std::optional<ExponentAssignment> simplify_mapping_algorithm(const ExponentAssignment &full,
                                                             const ExponentAssignment &start,
                                                             const BaseExponents &target) {
    return search(full, start, target, Strategy::automatic);
}

namespace detail {
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
