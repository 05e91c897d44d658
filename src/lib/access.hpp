// The per-object access flag: many shared holders or one exclusive holder, never waited for.
#pragma once

#include <Python.h>

#include <atomic>
#include <climits>
#include <cstdint>

namespace modrin::py {

class AccessFlag {
public:
    // One atomic add. An exclusive holder keeps the count far below zero, so readers that
    // bounce off it cannot bring the count back to zero and let a second writer in.
    bool try_shared() {
        if (state_.fetch_add(1, std::memory_order_acquire) >= 0) return true;
        state_.fetch_sub(1, std::memory_order_relaxed);
        return false;
    }
    void release_shared() { state_.fetch_sub(1, std::memory_order_release); }

    bool try_exclusive() {
        std::int32_t expected = 0;
        return state_.compare_exchange_strong(expected, EXCLUSIVE, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void release_exclusive() { state_.fetch_sub(EXCLUSIVE, std::memory_order_release); }

private:
    static constexpr std::int32_t EXCLUSIVE = INT32_MIN / 2;
    std::atomic<std::int32_t> state_{0};
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
