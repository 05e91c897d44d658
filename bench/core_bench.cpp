// Timings of the core's hot paths: parsing, lookup, rendering and collection algebra.
#include <benchmark/benchmark.h>

#include "unit/parse.hpp"
#include "unit/render.hpp"
#include "unit/unit_defs/lookup.hpp"

namespace {

using namespace modrin;

void parse_text(benchmark::State &state, const char *text) {
    for (auto _ : state) benchmark::DoNotOptimize(from_unit_name(text));
}
BENCHMARK_CAPTURE(parse_text, km_per_hr, "km/hr");
BENCHMARK_CAPTURE(parse_text, J_per_K_mol, "J/K.mol");
BENCHMARK_CAPTURE(parse_text, unknown_10_chars, "qwertzuiop");

void lookup_text(benchmark::State &state, const char *text) {
    for (auto _ : state) benchmark::DoNotOptimize(search_for_unit_name(text));
}
BENCHMARK_CAPTURE(lookup_text, meter, "meter");
BENCHMARK_CAPTURE(lookup_text, km, "km");
BENCHMARK_CAPTURE(lookup_text, unknown_10_chars, "qwertzuiop");

void render_plain(benchmark::State &state) {
    UnitCollection c = *from_unit_name("W/m2.K4");
    for (auto _ : state) benchmark::DoNotOptimize(as_string(c));
}
BENCHMARK(render_plain);

void product_of_two(benchmark::State &state) {
    UnitCollection a = *from_unit_name("km/hr");
    UnitCollection b = *from_unit_name("N.s");
    for (auto _ : state) benchmark::DoNotOptimize(product(a, b));
}
BENCHMARK(product_of_two);

}  // namespace
