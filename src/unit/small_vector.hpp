// SmallVector: a vector that keeps its first N elements inline, so small ones never allocate.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace modrin {

template <class T, std::size_t N>
class SmallVector {
    static_assert(N > 0);

public:
    using value_type = T;
    using iterator = T *;
    using const_iterator = const T *;

    SmallVector() noexcept : data_(inline_data()) {}
    SmallVector(const SmallVector &other) : SmallVector() {
        reserve(other.size_);
        std::uninitialized_copy(other.begin(), other.end(), data_);
        size_ = other.size_;
    }
    SmallVector(SmallVector &&other) noexcept : SmallVector() { take(std::move(other)); }
    SmallVector &operator=(const SmallVector &other) {
        if (this != &other) {
            SmallVector copy(other);
            clear();
            release();
            take(std::move(copy));
        }
        return *this;
    }
    SmallVector &operator=(SmallVector &&other) noexcept {
        if (this != &other) {
            clear();
            release();
            take(std::move(other));
        }
        return *this;
    }
    ~SmallVector() {
        clear();
        release();
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return capacity_; }
    bool is_inline() const { return data_ == inline_data(); }

    T *begin() { return data_; }
    T *end() { return data_ + size_; }
    const T *begin() const { return data_; }
    const T *end() const { return data_ + size_; }
    T &operator[](std::size_t i) { return data_[i]; }
    const T &operator[](std::size_t i) const { return data_[i]; }
    T &back() { return data_[size_ - 1]; }

    void reserve(std::size_t wanted) {
        if (wanted <= capacity_) return;
        std::size_t cap = std::max(wanted, capacity_ * 2);
        T *fresh = static_cast<T *>(::operator new(cap * sizeof(T), std::align_val_t{alignof(T)}));
        std::uninitialized_move(data_, data_ + size_, fresh);
        std::destroy(data_, data_ + size_);
        release();
        data_ = fresh;
        capacity_ = cap;
    }

    template <class... Args>
    T &emplace_back(Args &&...args) {
        if (size_ == capacity_) {
            // Build first: args may refer into this vector's own storage.
            T value(std::forward<Args>(args)...);
            reserve(size_ + 1);
            std::construct_at(data_ + size_, std::move(value));
        } else {
            std::construct_at(data_ + size_, std::forward<Args>(args)...);
        }
        return data_[size_++];
    }
    void push_back(const T &value) { emplace_back(value); }
    void push_back(T &&value) { emplace_back(std::move(value)); }

    // Keeps the order of the remaining elements.
    void erase_at(std::size_t i) {
        std::move(data_ + i + 1, data_ + size_, data_ + i);
        std::destroy_at(data_ + size_ - 1);
        --size_;
    }

    void clear() {
        std::destroy(data_, data_ + size_);
        size_ = 0;
    }

private:
    T *inline_data() { return std::launder(reinterpret_cast<T *>(inline_)); }
    const T *inline_data() const { return std::launder(reinterpret_cast<const T *>(inline_)); }

    // Frees a heap buffer (elements already destroyed) and returns to the inline one.
    void release() {
        if (!is_inline()) ::operator delete(data_, std::align_val_t{alignof(T)});
        data_ = inline_data();
        capacity_ = N;
    }

    // Takes other's elements into this empty, inline vector; leaves other empty and inline.
    void take(SmallVector &&other) noexcept {
        if (other.is_inline()) {
            std::uninitialized_move(other.begin(), other.end(), data_);
            size_ = other.size_;
            other.clear();
        } else {
            data_ = other.data_;
            size_ = other.size_;
            capacity_ = other.capacity_;
            other.data_ = other.inline_data();
            other.size_ = 0;
            other.capacity_ = N;
        }
    }

    T *data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
    alignas(T) std::byte inline_[N * sizeof(T)];
};

}  // namespace modrin
