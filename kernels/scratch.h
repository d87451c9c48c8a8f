// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch memory owned by one call: allocation reports failure instead of
// throwing, and the memory is released on every way out of the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "kernels/allocation.h"

namespace hostmath {

template <class T>
class Scratch {
public:
    Scratch() = default;
    // Allocates n elements (uninitialised); ok() says whether it worked.
    explicit Scratch(int64_t n) {
        if (n < 0 || static_cast<uint64_t>(n) > std::numeric_limits<size_t>::max() / sizeof(T)) return;
        if (!allocation_permitted()) return;
        data_.reset(new (std::nothrow) T[n == 0 ? 1 : static_cast<size_t>(n)]);
        if (data_) size_ = static_cast<size_t>(n);
    }
    bool ok() const { return data_ != nullptr; }
    T* get() { return data_.get(); }
    const T* get() const { return data_.get(); }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    size_t size() const { return size_; }

private:
    std::unique_ptr<T[]> data_;
    size_t size_ = 0;
};

}  // namespace hostmath
