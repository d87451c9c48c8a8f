// SPDX-License-Identifier: GPL-3.0-or-later
// Double-double arithmetic: a value hi + lo with |lo| <= ulp(hi)/2, built
// from error-free transformations. The library is built without fused
// multiply-add, so the exact product uses Dekker's splitting; every step is
// plain rounded arithmetic in a fixed order and gives the same bits
// everywhere.
#pragma once

namespace hostmath::elementary {

struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly as hi + lo, for any a and b (Knuth).
inline DoubleDouble two_sum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// a + b exactly as hi + lo, when |a| >= |b| or a is zero (Dekker).
inline DoubleDouble fast_two_sum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a split into two halves of 26 bits each, a = hi + lo exactly; |a| below
// 2^996 so that the scaled value cannot overflow.
inline DoubleDouble split(double a) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double c = kSplitter * a;
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b exactly as hi + lo (Dekker), barring overflow and underflow.
inline DoubleDouble two_product(double a, double b) {
    const double p = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    const double e = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {p, e};
}

inline DoubleDouble add(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble s = two_sum(a.hi, b.hi);
    const DoubleDouble t = two_sum(a.lo, b.lo);
    DoubleDouble r = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(r.hi, r.lo + t.lo);
}

inline DoubleDouble add(DoubleDouble a, double b) {
    const DoubleDouble s = two_sum(a.hi, b);
    return fast_two_sum(s.hi, s.lo + a.lo);
}

inline DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble p = two_product(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

inline DoubleDouble multiply(DoubleDouble a, double b) {
    const DoubleDouble p = two_product(a.hi, b);
    return fast_two_sum(p.hi, p.lo + a.lo * b);
}

}  // namespace hostmath::elementary
