// Timings of the element loops beside plain loops doing the same arithmetic without units:
// conversion m -> mm against x*1000.0, the fused sum m + km against x + y*1000.0 (in one pass,
// and in two as NumPy evaluates it), the fused comparison m < km against x < y*1000.0, and the
// planning that each array operation pays once.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#include "unit/element_loops.hpp"
#include "unit/parse_cache.hpp"

namespace {

using namespace modrin;

std::vector<double> numbers(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(-1e3, 1e3);
    std::vector<double> v(n);
    for (double &x : v) x = d(rng);
    return v;
}

Input in(const std::vector<double> &v) {
    return {reinterpret_cast<const char *>(v.data()), sizeof(double)};
}
template <class T>
Output out(std::vector<T> &v) {
    return {reinterpret_cast<char *>(v.data()), sizeof(T)};
}

void per_element(benchmark::State &state) {
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sizes(benchmark::internal::Benchmark *b) { b->Arg(10)->Arg(1000)->Arg(1000000); }

void convert_m_to_mm(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1);
    std::vector<double> y(n);
    const ConversionPlan plan =
        *plan_conversion(from_unit_name_cached("m"), from_unit_name_cached("mm"));
    for (auto _ : state) {
        convert_elements(plan, n, in(x), out(y));
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(convert_m_to_mm)->Apply(sizes);

void plain_times_1000(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1);
    std::vector<double> y(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) y[i] = x[i] * 1000.0;
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(plain_times_1000)->Apply(sizes);

void sum_m_plus_km(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1), y = numbers(n, 2);
    std::vector<double> z(n);
    const OperationPlan plan = *plan_operation(Op::add, from_unit_name_cached("m"),
                                               from_unit_name_cached("km"), false);
    for (auto _ : state) {
        operate_elements(plan, n, in(x), in(y), out(z));
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(sum_m_plus_km)->Apply(sizes);

void plain_sum_one_pass(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1), y = numbers(n, 2);
    std::vector<double> z(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) z[i] = x[i] + y[i] * 1000.0;
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(plain_sum_one_pass)->Apply(sizes);

// As NumPy runs x + y*1000.0: a temporary, then the sum.
void plain_sum_two_passes(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1), y = numbers(n, 2);
    std::vector<double> z(n);
    for (auto _ : state) {
        std::vector<double> t(n);
        for (std::size_t i = 0; i < n; ++i) t[i] = y[i] * 1000.0;
        for (std::size_t i = 0; i < n; ++i) z[i] = x[i] + t[i];
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(plain_sum_two_passes)->Apply(sizes);

void compare_m_less_km(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1), y = numbers(n, 2);
    std::vector<unsigned char> z(n);
    const ConversionPlan plan =
        *plan_conversion(from_unit_name_cached("km"), from_unit_name_cached("m"));
    for (auto _ : state) {
        compare_elements(plan, Comparison::lt, n, in(x), in(y), out(z));
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(compare_m_less_km)->Apply(sizes);

void plain_compare_one_pass(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> x = numbers(n, 1), y = numbers(n, 2);
    std::vector<unsigned char> z(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) z[i] = x[i] < y[i] * 1000.0;
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    per_element(state);
}
BENCHMARK(plain_compare_one_pass)->Apply(sizes);

void plan_of_sum(benchmark::State &state) {
    const SharedUnits m = from_unit_name_cached("m"), km = from_unit_name_cached("km");
    for (auto _ : state) benchmark::DoNotOptimize(plan_operation(Op::add, m, km, false));
}
BENCHMARK(plan_of_sum);

void plan_of_product(benchmark::State &state) {
    const SharedUnits m = from_unit_name_cached("m"), km = from_unit_name_cached("km");
    for (auto _ : state) benchmark::DoNotOptimize(plan_operation(Op::mul, m, km, false));
}
BENCHMARK(plan_of_product);

void plan_of_conversion(benchmark::State &state) {
    const SharedUnits m = from_unit_name_cached("m"), mm = from_unit_name_cached("mm");
    for (auto _ : state) benchmark::DoNotOptimize(plan_conversion(m, mm));
}
BENCHMARK(plan_of_conversion);

}  // namespace
