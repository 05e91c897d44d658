// Property checks for the fuzz harnesses: a broken property aborts, which libFuzzer reports
// as a crash and keeps the input.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                               \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                              \
        }                                                                              \
    } while (0)

namespace modrin::fuzz {

// Bit equality, so NaN equals NaN and -0 differs from 0.
inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Within rel of each other; only normal, finite numbers are held to it.
inline bool close_or_out_of_range(double got, long double want, long double rel) {
    if (!std::isnormal(got)) return true;
    const long double g = got;
    return std::fabs(g - want) <= rel * std::fabs(want);
}

// Reads the fuzzer's bytes front to back; past the end every read gives zero.
class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    std::uint8_t byte() { return p_ == end_ ? 0 : *p_++; }
    template <class T>
    T raw() {
        std::uint8_t buf[sizeof(T)] = {};
        for (auto &b : buf) b = byte();
        return std::bit_cast<T>(buf);
    }

private:
    const std::uint8_t *p_, *end_;
};

}  // namespace modrin::fuzz
