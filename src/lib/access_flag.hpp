// The access flag's word, without Python: many shared holders or one exclusive holder, never
// waited for, beside a 48-bit payload.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace modrin::py {

// How the word is read and written: plainly where one thread runs at a time and re-entry is
// sequential (the GIL), atomically where threads run at once.
enum class FlagWord { plain, atomic };

// The count lives in the top 16 bits of a 64-bit word whose low 48 bits carry the object's
// payload (a Modrin's units record, a LogModrin's unit row), so flag and payload take eight
// bytes.
template <FlagWord Kind>
class BasicAccessFlag {
    static constexpr bool ATOMIC = Kind == FlagWord::atomic;
    static_assert(!ATOMIC || std::atomic<std::uint64_t>::is_always_lock_free);

public:
    static constexpr int PAYLOAD_BITS = 48;

    // One atomic add. An exclusive holder keeps the count far below zero, so readers that
    // bounce off it cannot bring the count back to zero and let a second writer in.
    bool try_shared() {
        if constexpr (ATOMIC) {
            if (count(word_.fetch_add(ONE, std::memory_order_acquire)) >= 0) return true;
            word_.fetch_sub(ONE, std::memory_order_relaxed);
            return false;
        } else {
            if (count(word_) < 0) return false;
            word_ += ONE;
            return true;
        }
    }
    void release_shared() {
        if constexpr (ATOMIC) {
            word_.fetch_sub(ONE, std::memory_order_release);
        } else {
            word_ -= ONE;
        }
    }

    bool try_exclusive() {
        if constexpr (ATOMIC) {
            std::uint64_t w = word_.load(std::memory_order_relaxed);
            do {
                if (count(w) != 0) return false;
            } while (!word_.compare_exchange_weak(w, w + EXCLUSIVE, std::memory_order_acquire,
                                                  std::memory_order_relaxed));
            return true;
        } else {
            if (count(word_) != 0) return false;
            word_ += EXCLUSIVE;
            return true;
        }
    }
    void release_exclusive() {
        if constexpr (ATOMIC) {
            word_.fetch_sub(EXCLUSIVE, std::memory_order_release);
        } else {
            word_ -= EXCLUSIVE;
        }
    }

    // Read under any access, or before the object is shared.
    std::uintptr_t payload() const {
        if constexpr (ATOMIC) {
            return word_.load(std::memory_order_relaxed) & PAYLOAD_MASK;
        } else {
            return word_ & PAYLOAD_MASK;
        }
    }
    // Changed only under exclusive access or before the object is shared; p must fit in 48 bits.
    void set_payload(std::uintptr_t p) {
        if constexpr (ATOMIC) {
            std::uint64_t w = word_.load(std::memory_order_relaxed);
            // Only the low bits change: readers that bounce off the count may add and subtract.
            word_.fetch_add(p - (w & PAYLOAD_MASK), std::memory_order_relaxed);
        } else {
            word_ = (word_ & ~PAYLOAD_MASK) | p;
        }
    }
    static bool fits(std::uintptr_t p) { return (p & ~PAYLOAD_MASK) == 0; }

private:
    static constexpr std::uint64_t ONE = std::uint64_t{1} << PAYLOAD_BITS;
    static constexpr std::uint64_t PAYLOAD_MASK = ONE - 1;
    // -16384 in the 16-bit count, added modulo 2^64.
    static constexpr std::uint64_t EXCLUSIVE = std::uint64_t{0xC000} << PAYLOAD_BITS;
    static std::int16_t count(std::uint64_t w) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(w >> PAYLOAD_BITS));
    }

    std::conditional_t<ATOMIC, std::atomic<std::uint64_t>, std::uint64_t> word_{0};
};

}  // namespace modrin::py
