// Timings of simplification and conversion, including an adversarial collection for the search.
#include <benchmark/benchmark.h>

#include <cmath>

#include "collections.hpp"
#include "unit/parse.hpp"
#include "unit/quantity.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace {

using namespace modrin;

using bench::adversarial;
using bench::build;

void simple_simplify_bench(benchmark::State &state, UnitCollection c) {
    for (auto _ : state) benchmark::DoNotOptimize(simple_simplify(c));
}
BENCHMARK_CAPTURE(simple_simplify_bench, km_per_hr, *from_unit_name("km/hr"));
BENCHMARK_CAPTURE(simple_simplify_bench, m2_per_km, *from_unit_name("m2/km"));
BENCHMARK_CAPTURE(simple_simplify_bench, kg_J_per_N_m, build({{"kg", 1}, {"J", 1}, {"N", -1}, {"m", -1}}));

void simplify_bench(benchmark::State &state, UnitCollection c) {
    for (auto _ : state) benchmark::DoNotOptimize(simplify(c));
    state.SetLabel(as_string(simplify(c)));
}
BENCHMARK_CAPTURE(simplify_bench, kg_J_per_N_m, build({{"kg", 1}, {"J", 1}, {"N", -1}, {"m", -1}}));
BENCHMARK_CAPTURE(simplify_bench, W_s_per_m, build({{"W", 1}, {"s", 1}, {"m", -1}}));
BENCHMARK_CAPTURE(simplify_bench, km_per_hr, *from_unit_name("km/hr"));
BENCHMARK_CAPTURE(simplify_bench, adversarial_12_units, adversarial())->Unit(benchmark::kMillisecond);

void convert_bench(benchmark::State &state, const char *from, const char *to) {
    Quantity q{36.0, *from_unit_name(from)};
    UnitCollection target = *from_unit_name(to);
    for (auto _ : state) benchmark::DoNotOptimize(as_unit_internal(q, target));
}
BENCHMARK_CAPTURE(convert_bench, km_per_hr_to_m_per_s, "km/hr", "m/s");
BENCHMARK_CAPTURE(convert_bench, celsius_to_kelvin, "degree Celsius", "K");

}  // namespace

namespace {

void multiply_and_normalise(benchmark::State &state) {
    Quantity a{36.0, *from_unit_name("km/hr")};
    Quantity b{2.5, *from_unit_name("m/s")};
    for (auto _ : state)
        benchmark::DoNotOptimize(normalise(Quantity{a.value * b.value, product(a.collection, b.collection)}));
}
BENCHMARK(multiply_and_normalise);

void copy_collection(benchmark::State &state) {
    UnitCollection a = *from_unit_name("km/hr");
    for (auto _ : state) {
        UnitCollection c = a;
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(copy_collection);

}  // namespace

namespace {

void libm_pow(benchmark::State &state) {
    double f = 3600.0, e = -1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(e);
        benchmark::DoNotOptimize(std::pow(f, e));
    }
}
BENCHMARK(libm_pow);

void from_map(benchmark::State &state) {
    UnitCollection a = *from_unit_name("km/hr");
    for (auto _ : state) benchmark::DoNotOptimize(from_single_unit_hashmap(a.units));
}
BENCHMARK(from_map);

}  // namespace
