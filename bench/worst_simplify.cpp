// The slowest simplifications: the texts in the fuzz corpora given as directories, the long
// fuzz-found text and the twelve-unit collection below, and random collections of up to 16
// distinct units with whole exponents up to 9. Each is simplified by the fast search and by
// the reference search it replaced; prints the worst and median times of both and how many
// answers agree.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "collections.hpp"
#include "unit/mapping_search.hpp"
#include "unit/parse.hpp"
#include "unit/render.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_defs/lookup.hpp"
#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

using namespace modrin;

namespace {

struct Input {
    std::string label;
    UnitCollection units;
};

// Catalogue rows, sometimes prefixed, each with a whole exponent from -9 to 9 (not 0).
UnitCollection random_collection(std::mt19937_64 &rng, std::size_t distinct) {
    UnitCollection c;
    std::size_t n = 0;
    while (n < distinct) {
        const UnitDef &row = UNITS[rng() % UNITS.size()];
        std::optional<SingleUnit> unit = SingleUnit::from_static(row);
        if (rng() % 4 == 0)
            unit = search_for_unit_name(std::string(PREFIXES[rng() % PREFIXES.size()].name) +
                                        std::string(row.name));
        if (!unit || c.units.get(*unit)) continue;
        const double e = static_cast<double>(static_cast<int>(rng() % 18) - 9);
        c = product(std::move(c), pow(coerce_unit_to_collection(*unit), e >= 0 ? e + 1 : e));
        n = c.units.size();
    }
    return c;
}

double millis(UnitCollection (*run)(const UnitCollection &), const UnitCollection &c,
              int repeats, UnitCollection &answer) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        answer = run(c);
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

UnitCollection fast(const UnitCollection &c) { return simplify(c); }
UnitCollection reference(const UnitCollection &c) {
    return detail::simplify_with(c, detail::search_reference);
}

struct Timed {
    double ms;
    const Input *input;
};

void report(const char *name, std::vector<Timed> t) {
    std::sort(t.begin(), t.end(), [](const Timed &a, const Timed &b) { return a.ms < b.ms; });
    const Timed &worst = t.back();
    std::printf("%-10s median %9.4f ms   p99 %9.4f ms   worst %9.4f ms  (%s, %zu units: %s)\n",
                name, t[t.size() / 2].ms, t[t.size() * 99 / 100].ms, worst.ms,
                worst.input->label.c_str(), worst.input->units.units.size(),
                as_string(worst.input->units).c_str());
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<Input> inputs;
    inputs.push_back({"fuzz-found text",
                      *from_unit_name("/.dK.d.J.RK6.m.dd.g..J..d.dkg.J.d.d.Rcalendar year.S2.d."
                                      "dA.dkg.J.d.d.dJ.dslug.d.J.R...dJ.dslug.d..dR.s..C")});
    inputs.push_back({"12-unit adversarial", bench::adversarial()});
    // The slowest of 3000 random draws, in the order its rendering gives (the search's cost
    // depends on the order of the units).
    inputs.push_back({"16-unit random, rendered",
                      *from_unit_name("C8.N3.hr8.mdrnm5.rod9.t3.Ω5/MiJ5.PF9.ZiF5.dacal7.jfy9.kn6.mo."
                                      "ouths7.yatm9")});
    // Large exponents: the search's bound, not the exponents, must set its time.
    std::size_t powers = 0;
    for (const char *text : {"W.s.C/J.A", "W.s.C.Pa.L/J.A.N.m", "J.s.Hz/W.N.m2", "kg.J/N.m.s"})
        for (int n = 50; n <= 5000; n += n < 1000 ? 50 : 500, ++powers)
            inputs.push_back({std::string(text) + " ** " + std::to_string(n),
                              pow(*from_unit_name(text), n)});
    std::size_t corpus = 0;
    for (int a = 1; a < argc; ++a) {
        if (!std::filesystem::is_directory(argv[a])) continue;
        for (const auto &file : std::filesystem::directory_iterator(argv[a])) {
            std::ifstream in(file.path(), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            if (auto c = from_unit_name(text); c && c->units.size() > 1) {
                inputs.push_back({"corpus " + file.path().filename().string(), std::move(*c)});
                ++corpus;
            }
        }
    }
    std::mt19937_64 rng(20261209);
    const int RANDOM = std::getenv("MODRIN_RANDOM") ? std::atoi(std::getenv("MODRIN_RANDOM")) : 300;
    for (int i = 0; i < RANDOM; ++i) {
        const std::size_t distinct = 4 + static_cast<std::size_t>(i % 13);  // 4 to 16
        inputs.push_back({"random #" + std::to_string(i), random_collection(rng, distinct)});
    }

    std::vector<Timed> new_times, old_times;
    std::size_t same = 0, unfinished = 0;
    for (const Input &in : inputs) {
        UnitCollection a, b;
        new_times.push_back({millis(fast, in.units, 3, a), &in});
        old_times.push_back({millis(reference, in.units, 1, b), &in});
        if (a == b)
            ++same;
        else if (b == simple_simplify(in.units))
            ++unfinished;  // the reference gave up at its work bound
    }
    std::printf("worst-case simplification: %zu inputs (3 named, %zu large powers, %zu accepted "
                "corpus texts, %d random of 4-16 units)\n",
                inputs.size(), powers, corpus, RANDOM);
    report("fast", new_times);
    report("reference", old_times);
    std::printf("same answer from both searches: %zu of %zu; reference past its work bound: %zu; "
                "other differences: %zu\n",
                same, inputs.size(), unfinished, inputs.size() - same - unfinished);
    return 0;
}
