// Shared, immutable unit collections with their derived forms and the unit side of the
// quantity algebra memoised, so a repeated operation costs a lookup and the number's own
// floating-point steps, which are exactly those of the plain algebra.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "error/modrin_error.hpp"
#include "unit/collection.hpp"
#include "unit/quantity.hpp"

namespace modrin {

class SharedUnits;
struct Derived;

namespace detail {

// Derived forms whose target is the collection itself hold no handle to it, so a record
// never keeps itself alive.
struct UnitsRecord {
    explicit UnitsRecord(UnitCollection c) : collection(std::move(c)) {}
    UnitsRecord(const UnitsRecord &) = delete;
    UnitsRecord &operator=(const UnitsRecord &) = delete;
    ~UnitsRecord();
    const UnitCollection collection;
    std::atomic<std::size_t> refs{1};
    std::atomic<Derived *> simple{nullptr}, full{nullptr}, base{nullptr};
    std::atomic<std::string *> plain{nullptr}, latex{nullptr}, descriptive{nullptr};
};

// The last handle's release, out of line so the counting stays inline.
void destroy(UnitsRecord *r) noexcept;

}  // namespace detail

// A counted handle to an immutable collection record. Copies share the record; it dies with
// its last handle.
class SharedUnits {
public:
    SharedUnits() = default;  // empty: holds no record
    explicit SharedUnits(UnitCollection c);
    SharedUnits(const SharedUnits &o) noexcept : rec_(o.rec_) {
        if (rec_ != nullptr) rec_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    SharedUnits(SharedUnits &&o) noexcept : rec_(std::exchange(o.rec_, nullptr)) {}
    SharedUnits &operator=(SharedUnits o) noexcept {
        std::swap(rec_, o.rec_);
        return *this;
    }
    ~SharedUnits() {
        if (rec_ != nullptr && rec_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            detail::destroy(rec_);
    }

    // The record without a count of its own, valid while some handle keeps it.
    static SharedUnits adopt(detail::UnitsRecord *r) { return SharedUnits(r); }
    detail::UnitsRecord *release() { return std::exchange(rec_, nullptr); }
    detail::UnitsRecord *record() const { return rec_; }
    static SharedUnits borrow(detail::UnitsRecord *r) {  // a new count on r
        r->refs.fetch_add(1, std::memory_order_relaxed);
        return SharedUnits(r);
    }

    explicit operator bool() const { return rec_ != nullptr; }
    const UnitCollection &get() const { return rec_->collection; }
    const UnitCollection *operator->() const { return &get(); }

    static const SharedUnits &unitless();

private:
    explicit SharedUnits(detail::UnitsRecord *r) : rec_(r) {}
    detail::UnitsRecord *rec_ = nullptr;
};

// The forms derived from a collection, computed once per record on first use.
struct Derived {
    SharedUnits target;  // the collection the number moves into
    Conversion conversion;
};

// Simple simplification (normalisation): a refused conversion keeps the collection itself.
const Derived &simple_form(const SharedUnits &u);
// Full simplification, kept likewise.
const Derived &full_form(const SharedUnits &u);
// Base units; a refusal (NaN exponents) still scales by the factors.
const Derived &base_form(const SharedUnits &u);
// The renderings of the collection itself.
const std::string &plain_text(const SharedUnits &u);
const std::string &latex_text(const SharedUnits &u);
const std::string &descriptive_text(const SharedUnits &u);

// A number in shared units.
struct SharedQuantity {
    double value;
    SharedUnits units;
};

// The quantity operators, normalised, with the same floating-point steps as the plain algebra.
enum class Op : std::uint8_t { add, sub, mul, div, pow };
// s op o, or o op s when `reflected`.
Result<SharedQuantity> apply(Op op, double s, const SharedUnits &su, double o,
                             const SharedUnits &ou, bool reflected);

// The normalised units of a op b (op: mul or div) or of a power of `base` by n, with the
// conversion of the raw number into them and the raw record that conversion reads: the
// operators' own memo entry, for a caller that applies one operation to many numbers.
struct OperationUnits {
    Derived form;
    SharedUnits raw;
};
OperationUnits operation_units(Op op, const SharedUnits &a, const SharedUnits &b);
OperationUnits power_units(const SharedUnits &base, double n);

// The number v in `from` converted into `to`, or the refusal.
Result<double> convert(double v, const SharedUnits &from, const SharedUnits &to);

}  // namespace modrin
