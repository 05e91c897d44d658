// The per-object access flag: many shared holders or one exclusive holder, never waited for.
#pragma once

#include <Python.h>

#include <atomic>
#include <climits>
#include <cstdint>

namespace modrin::py {

// The count lives in the top 16 bits of a 64-bit word whose low 48 bits carry the object's
// payload (a Modrin's units record, a LogModrin's unit row), so flag and payload take eight
// bytes. With the GIL one thread runs at a time and re-entry is sequential, so plain loads and
// stores do; a free-threaded build uses atomic operations.
class AccessFlag {
public:
    static constexpr int PAYLOAD_BITS = 48;

    // One atomic add. An exclusive holder keeps the count far below zero, so readers that
    // bounce off it cannot bring the count back to zero and let a second writer in.
    bool try_shared() {
#ifdef Py_GIL_DISABLED
        if (count(word_.fetch_add(ONE, std::memory_order_acquire)) >= 0) return true;
        word_.fetch_sub(ONE, std::memory_order_relaxed);
        return false;
#else
        if (count(word_) < 0) return false;
        word_ += ONE;
        return true;
#endif
    }
    void release_shared() {
#ifdef Py_GIL_DISABLED
        word_.fetch_sub(ONE, std::memory_order_release);
#else
        word_ -= ONE;
#endif
    }

    bool try_exclusive() {
#ifdef Py_GIL_DISABLED
        std::uint64_t w = word_.load(std::memory_order_relaxed);
        do {
            if (count(w) != 0) return false;
        } while (!word_.compare_exchange_weak(w, w + EXCLUSIVE, std::memory_order_acquire,
                                              std::memory_order_relaxed));
        return true;
#else
        if (count(word_) != 0) return false;
        word_ += EXCLUSIVE;
        return true;
#endif
    }
    void release_exclusive() {
#ifdef Py_GIL_DISABLED
        word_.fetch_sub(EXCLUSIVE, std::memory_order_release);
#else
        word_ -= EXCLUSIVE;
#endif
    }

    // Read under any access, or before the object is shared.
    std::uintptr_t payload() const {
#ifdef Py_GIL_DISABLED
        return word_.load(std::memory_order_relaxed) & PAYLOAD_MASK;
#else
        return word_ & PAYLOAD_MASK;
#endif
    }
    // Changed only under exclusive access or before the object is shared; p must fit in 48 bits.
    void set_payload(std::uintptr_t p) {
#ifdef Py_GIL_DISABLED
        std::uint64_t w = word_.load(std::memory_order_relaxed);
        // Only the low bits change: readers that bounce off the count may add and subtract.
        word_.fetch_add(p - (w & PAYLOAD_MASK), std::memory_order_relaxed);
#else
        word_ = (word_ & ~PAYLOAD_MASK) | p;
#endif
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
#ifdef Py_GIL_DISABLED
    std::atomic<std::uint64_t> word_{0};
#else
    std::uint64_t word_ = 0;
#endif
};

// RAII holders. `acquire` sets RuntimeError when refused; `try_acquire` only reports it.
class SharedAccess {
public:
    static bool try_acquire(AccessFlag &flag) { return flag.try_shared(); }
    explicit SharedAccess(AccessFlag &flag) : flag_(flag.try_shared() ? &flag : nullptr) {
        if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    }
    SharedAccess(const SharedAccess &) = delete;
    SharedAccess &operator=(const SharedAccess &) = delete;
    ~SharedAccess() { release(); }
    explicit operator bool() const { return flag_ != nullptr; }
    void release() {
        if (flag_ != nullptr) flag_->release_shared();
        flag_ = nullptr;
    }

private:
    AccessFlag *flag_;
};

// A shared hold taken after construction, for operands found to need one.
class SharedHold {
public:
    SharedHold() = default;
    SharedHold(const SharedHold &) = delete;
    SharedHold &operator=(const SharedHold &) = delete;
    ~SharedHold() { release(); }
    // False with RuntimeError set when refused.
    bool acquire(AccessFlag &flag) {
        if (!flag.try_shared()) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return false;
        }
        flag_ = &flag;
        return true;
    }
    void release() {
        if (flag_ != nullptr) flag_->release_shared();
        flag_ = nullptr;
    }

private:
    AccessFlag *flag_ = nullptr;
};

class ExclusiveAccess {
public:
    explicit ExclusiveAccess(AccessFlag &flag) : flag_(flag.try_exclusive() ? &flag : nullptr) {
        if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    }
    ExclusiveAccess(const ExclusiveAccess &) = delete;
    ExclusiveAccess &operator=(const ExclusiveAccess &) = delete;
    ~ExclusiveAccess() { release(); }
    explicit operator bool() const { return flag_ != nullptr; }
    void release() {
        if (flag_ != nullptr) flag_->release_exclusive();
        flag_ = nullptr;
    }

private:
    AccessFlag *flag_;
};

}  // namespace modrin::py
