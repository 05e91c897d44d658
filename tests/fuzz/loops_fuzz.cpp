// Two unit texts and any doubles through the element loops: every element, over any strides
// and in place, has the bits the scalar algebra gives it (NaN for NaN), and every plan refuses
// as the scalar path does.
//
// Input: a byte choosing the loop, a byte of strides, two unit texts each ended by a newline
// (a text that does not read stands for no units), then the numbers, eight bytes each.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "unit/element_loops.hpp"
#include "unit/parse_cache.hpp"

using namespace modrin;

namespace {

bool same_result(double a, double b) {
    return fuzz::same_bits(a, b) || (std::isnan(a) && std::isnan(b));
}

SharedUnits units_from(std::string_view &rest) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    SharedUnits u = from_unit_name_cached(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return u ? u : SharedUnits::unitless();
}

// One operand of n elements, `every` elements apart, filled from the numbers in turn.
struct Operand {
    std::vector<double> storage;
    std::ptrdiff_t every;
    std::size_t first;
    Operand(std::size_t n, std::ptrdiff_t e, const std::vector<double> &numbers, std::size_t &next)
        : every(e) {
        const auto reach = static_cast<std::size_t>(e < 0 ? -e : e);
        const std::size_t span = n == 0 ? 1 : (n - 1) * reach + 1;
        for (std::size_t j = 0; j < span; ++j)
            storage.push_back(numbers.empty() ? 0.0 : numbers[next++ % numbers.size()]);
        first = e < 0 ? span - 1 : 0;
    }
    double &at(std::size_t i) {
        return storage[first + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(i) * every)];
    }
    Input in() const {
        return {reinterpret_cast<const char *>(storage.data() + first),
                every * static_cast<std::ptrdiff_t>(sizeof(double))};
    }
    Output out() {
        return {reinterpret_cast<char *>(storage.data() + first),
                every * static_cast<std::ptrdiff_t>(sizeof(double))};
    }
};

constexpr std::ptrdiff_t STEPS[] = {1, 0, 2, -1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t choice = data[0], strides = data[1];
    std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    const SharedUnits a = units_from(rest), b = units_from(rest);
    std::vector<double> numbers(rest.size() / sizeof(double));
    if (!numbers.empty()) std::memcpy(numbers.data(), rest.data(), numbers.size() * sizeof(double));

    const std::size_t n = numbers.size() > 1 ? numbers.size() - 1 : 0;
    std::size_t next = 0;
    Operand x(n, STEPS[strides & 3], numbers, next), y(n, STEPS[strides >> 2 & 3], numbers, next);
    // The output: its own memory a step apart, or in place of x where x has its own elements.
    const bool in_place = (strides & 0x10) != 0 && x.every != 0;
    std::vector<double> results(2 * n + 1, 7.0);
    std::vector<unsigned char> truths(2 * n + 1, 7);
    const std::ptrdiff_t out_step = (strides & 0x20) != 0 ? 2 : 1;
    const Output out{reinterpret_cast<char *>(results.data()),
                     out_step * static_cast<std::ptrdiff_t>(sizeof(double))};
    const Output out_truths{reinterpret_cast<char *>(truths.data()), out_step};
    auto result = [&](std::size_t i) {
        return in_place ? x.at(i) : results[i * static_cast<std::size_t>(out_step)];
    };
    std::vector<double> xs(n), ys(n);
    for (std::size_t i = 0; i < n; ++i) {
        xs[i] = x.at(i);
        ys[i] = y.at(i);
    }

    switch (choice % 4) {
        case 0: {  // a conversion from a's units into b's
            Result<ConversionPlan> plan = plan_conversion(a, b);
            FUZZ_CHECK(plan.has_value() == convert(0.0, a, b).has_value());
            if (!plan) return 0;
            const auto sign = static_cast<Sign>(choice / 4 % 3);
            convert_elements(*plan, n, x.in(), in_place ? x.out() : out, sign);
            for (std::size_t i = 0; i < n; ++i) {
                const double v = sign == Sign::negate     ? -xs[i]
                                 : sign == Sign::absolute ? std::fabs(xs[i])
                                                          : xs[i];
                FUZZ_CHECK(same_result(result(i), *convert(v, a, b)));
            }
            break;
        }
        case 1: {  // x in a's units compared with y in b's
            const auto op = static_cast<Comparison>(choice / 4 % 6);
            Result<ConversionPlan> plan = plan_conversion(b, a);
            FUZZ_CHECK(plan.has_value() == convert(0.0, b, a).has_value());
            if (!plan) return 0;
            compare_elements(*plan, op, n, x.in(), y.in(), out_truths);
            for (std::size_t i = 0; i < n; ++i) {
                const double u = xs[i], v = *convert(ys[i], b, a);
                const bool want = op == Comparison::lt   ? v > u
                                  : op == Comparison::le ? v >= u
                                  : op == Comparison::eq ? u == v
                                  : op == Comparison::ne ? u != v
                                  : op == Comparison::gt ? u > v
                                                         : v <= u;
                FUZZ_CHECK(truths[i * static_cast<std::size_t>(out_step)] == want);
            }
            break;
        }
        case 2: {  // x in a's units op y in b's
            const auto op = static_cast<Op>(choice / 4 % 4);
            const bool reflected = choice >= 128;
            Result<OperationPlan> plan = plan_operation(op, a, b, reflected);
            Result<SharedQuantity> probe = apply(op, 1.0, a, 1.0, b, reflected);
            FUZZ_CHECK(plan.has_value() == probe.has_value());
            if (!plan) {
                FUZZ_CHECK(plan.error() == probe.error());
                return 0;
            }
            operate_elements(*plan, n, x.in(), y.in(), in_place ? x.out() : out);
            for (std::size_t i = 0; i < n; ++i)
                FUZZ_CHECK(same_result(result(i), apply(op, xs[i], a, ys[i], b, reflected)->value));
            break;
        }
        default: {  // x in a's units to a power: the last number, in b's units
            const double e = numbers.empty() ? 2.0 : numbers.back();
            Result<PowerPlan> plan = plan_power(a, e, b);
            FUZZ_CHECK(plan.has_value() == apply(Op::pow, 1.0, a, e, b, false).has_value());
            if (!plan) return 0;
            if (choice >= 128) {  // the units of a square root, and numbers to their own powers
                Result<PowerPlan> root = plan_power(a, 0.5, SharedUnits::unitless());
                FUZZ_CHECK(root.has_value());
                if (!root) return 0;
                const Conversion post = power_units(a, 0.5).form.conversion;
                root_elements(*root, n, x.in(), out);
                for (std::size_t i = 0; i < n; ++i)
                    FUZZ_CHECK(same_result(results[i * static_cast<std::size_t>(out_step)],
                                           post.apply(std::sqrt(xs[i]))));
                plain_power_elements(n, x.in(), y.in(), in_place ? x.out() : out);
                for (std::size_t i = 0; i < n; ++i)
                    FUZZ_CHECK(same_result(result(i), power_of(xs[i], ys[i])));
                break;
            }
            power_elements(*plan, n, x.in(), in_place ? x.out() : out);
            for (std::size_t i = 0; i < n; ++i)
                FUZZ_CHECK(same_result(result(i), apply(Op::pow, xs[i], a, e, b, false)->value));
            break;
        }
    }
    // Nothing is written between the output's elements.
    if (!in_place && out_step == 2)
        for (std::size_t i = 1; i < 2 * n; i += 2)
            FUZZ_CHECK(fuzz::same_bits(results[i], 7.0) && truths[i] == 7);
    return 0;
}
