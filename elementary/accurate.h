// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate path of the elementary functions: the value rounded to
// nearest binary64 by multiple-precision arithmetic. The fast paths compute
// in double-double with a proven error bound and take this path only for
// the rare argument whose rounding they cannot decide. It takes no memory
// from the heap (accurate.cpp says how), so it cannot fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hostmath::elementary {

// Which function the accurate path evaluates. Kept apart from the
// multiple-precision library's own types, which stay inside accurate.cpp.
enum class Accurate {
    kExp, kLog, kLog10, kSinh, kCosh, kTanh,
    kSin, kCos, kTan, kAsin, kAcos, kAtan,
    // Only GSL's, which asks for them without a fast path.
    kLog1p, kExpm1, kAtanh, kAcosh,
};

// f(x) correctly rounded to nearest, subnormals and overflow included.
double accurately(Accurate f, double x);
// atan2(y, x) and pow(x, y), correctly rounded to nearest.
double accurate_atan2(double y, double x);
double accurate_pow(double x, double y);

// Frees what the accurate path cached for the calling thread (constants such
// as pi) and hands its arena back; a thread that ends calls it first.
void release_thread_caches();

// The most memory one thread's arena can need (accurate.cpp derives it):
// the warm constants, what warming them leaves behind, and the largest call.
inline constexpr size_t kAccurateMemoryBound = 8 * 1024;
// Threads that may hold an arena of their own at once (a team's workers and
// the host's calling threads); any more share one.
inline constexpr size_t kAccurateArenas = 128;

// What the accurate path has taken so far in this process: the most bytes
// any arena held at once, and the requests it had to pass to the heap
// because an arena was full (none while kAccurateMemoryBound holds).
struct AccurateMemory {
    size_t most_bytes;
    uint64_t heap_requests;
};
AccurateMemory accurate_memory();

// Asked before a request goes to the heap; null permits every request. A
// build with fault injection sets the allocation gate (kernels/allocation.h)
// here, so that a test failing every allocation also fails these.
using HeapPermitted = bool (*)();
void set_heap_gate(HeapPermitted permitted);

}  // namespace hostmath::elementary
