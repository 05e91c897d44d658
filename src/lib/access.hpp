// The per-object access flag of this build, and its holders that raise when refused.
#pragma once

#include <Python.h>

#include "lib/access_flag.hpp"

namespace modrin::py {

// With the GIL one thread runs at a time, so the flag's word is a plain integer; a
// free-threaded build reads and writes it atomically.
#ifdef Py_GIL_DISABLED
using AccessFlag = BasicAccessFlag<FlagWord::atomic>;
#else
using AccessFlag = BasicAccessFlag<FlagWord::plain>;
#endif

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
