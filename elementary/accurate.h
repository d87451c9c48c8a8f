// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate path of the elementary functions: the value rounded to
// nearest binary64 by multiple-precision arithmetic. The fast paths compute
// in double-double with a proven error bound and take this path only for
// the rare argument whose rounding they cannot decide.
#pragma once

namespace hostmath::elementary {

// Which function the accurate path evaluates. Kept apart from the
// multiple-precision library's own types, which stay inside accurate.cpp.
enum class Accurate {
    kExp, kLog, kLog10, kSinh, kCosh, kTanh,
    kSin, kCos, kTan, kAsin, kAcos, kAtan,
};

// f(x) correctly rounded to nearest, subnormals and overflow included.
double accurately(Accurate f, double x);
// atan2(y, x) and pow(x, y), correctly rounded to nearest.
double accurate_atan2(double y, double x);
double accurate_pow(double x, double y);

// Frees what the accurate path cached for the calling thread (constants such
// as pi at the precisions it used); a thread that ends calls it first.
void release_thread_caches();

}  // namespace hostmath::elementary
