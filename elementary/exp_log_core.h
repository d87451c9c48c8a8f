// SPDX-License-Identifier: GPL-3.0-or-later
// The cores of exp, log, log10, sinh, cosh, tanh and pow: e^z and log(x) in
// double-double arithmetic with proven relative error bounds, and the
// rounding test that decides from such a bound whether hi + lo rounds to the
// same double as the exact value. Each function's fast path returns a value
// only when the test says so; the caller takes the accurate path otherwise.
//
// Error bounds below are relative, in units of the result; the derivations
// are next to each core. The rounding test widens them a little more
// (kSlack) so that its own two roundings cannot shrink the interval.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>

#include "elementary/accurate.h"
#include "elementary/double_double.h"
#include "elementary/exp_log_tables.h"

namespace hostmath::elementary {

// exp_core: |result / e^z - 1| below this.
inline constexpr double kExpCoreError = 0x1p-75;
// exp_quick: |result / e^z - 1| below this.
inline constexpr double kExpQuickError = 0x1p-68;
// pow_exp_reduced: |result / exact - 1| below this, the rounding test's
// allowance for its unnormalised pair included.
inline constexpr double kPowExpError = 0x1p-62;
// log_core: |result / log(x) - 1| below this.
inline constexpr double kLogCoreError = 0x1p-79;

inline constexpr double kSlack = 1.0 + 0x1p-10;

// The double nearest to v = hi + lo, when every value within
// bound * |hi| of v rounds to it; nothing when the rounding is in doubt.
// Sound for bound >= 2^-95: fl(lo - e) and fl(lo + e) err by far less than
// the slack, and rounding is monotonic, so the two sums are the roundings of
// values at or beyond the ends of the interval. A pair whose lo is not
// normalised may also be tested, when the bound covers 2^-53 |lo / hi| more,
// the most by which those two sums can then err.
inline std::optional<double> round_if_sure(DoubleDouble v, double bound) {
    const double e = (v.hi < 0 ? -v.hi : v.hi) * (bound * kSlack);
    const double below = v.hi + (v.lo - e);
    const double above = v.hi + (v.lo + e);
    if (below == above) return above;
    return std::nullopt;
}

// 2^k for k in [-1022, 1023].
inline double power_of_two(int k) { return std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52); }

// v * 2^k in two exact steps, so that k may run from -1074 to 1025 while
// the result is normal or overflows: scaling by a power of two then
// commutes with rounding, and v's rounding decides the result's.
inline double scale(double v, int k) {
    const int half = k / 2;
    return v * power_of_two(half) * power_of_two(k - half);
}

// a / b, relative error below 2^-100 for normal operands: the first quotient
// and the quotient of its exact remainder.
inline DoubleDouble divide(DoubleDouble a, DoubleDouble b) {
    const double q1 = a.hi / b.hi;
    const DoubleDouble p = multiply(b, q1);
    const double remainder = ((a.hi - p.hi) - p.lo) + a.lo;  // a.hi - p.hi is exact (Sterbenz)
    return fast_two_sum(q1, remainder / b.hi);
}

// v with its low 27 bits cleared: a 26-bit number whose square is exact,
// and v minus it has 27 bits at most.
inline double top_26_bits(double v) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(v) & ~((uint64_t{1} << 27) - 1));
}

// e^z as v * 2^scale, v in [0.99, 2.01].
struct Scaled {
    DoubleDouble v;
    int scale;
};

// e (times 2^shift) rounded, when every value within bound * |e.v| of e.v
// rounds the same way; nothing otherwise.
inline std::optional<double> scaled_if_sure(Scaled e, double bound, int shift = 0) {
    if (auto v = round_if_sure(e.v, bound)) return scale(*v, e.scale + shift);
    return std::nullopt;
}

// z 256/ln2 rounded to the nearest integer, as a double (|z| <= 746):
// adding 1.5 2^52 rounds it, subtracting it again is exact.
inline double steps_of_ln2_by_256(double z) {
    constexpr double kShifter = 0x1.8p52;
    return (z * tables::k256ByLn2 + kShifter) - kShifter;
}

// e^z for |z.hi| <= 746 and |z.lo| <= ulp(z.hi): z = k ln2/256 + r, so
// e^z = 2^(k>>8) * 2^((k&255)/256) * e^r with |r| <= ln2/512 (2^-9.5).
// Error: the reduction (three-part ln2/256, exact first two products) errs
// by under 2^-96; Taylor's series to r^6 truncates under |r|^7/5040 <
// 2^-79; the terms from r^3 on are evaluated in double with rl dropped,
// under 2^-81 together; the double-double sums and the table (2^-106)
// add under 2^-100. Total under 2^-78; kExpCoreError keeps a factor 8.
inline Scaled exp_core(DoubleDouble z) {
    using namespace tables;
    const double kd = steps_of_ln2_by_256(z.hi);
    const auto k = static_cast<int64_t>(kd);
    // z.hi - kd * hi is exact (both on the grid of 2^-43 or finer, the
    // difference below 2^-8); kd * mid is exact (19 + 34 bits).
    const DoubleDouble s = two_sum(z.hi - kd * kLn2By256Hi, -(kd * kLn2By256Mid));
    const DoubleDouble r = two_sum(s.hi, s.lo + (z.lo - kd * kLn2By256Lo));

    // e^r - 1 = r + r^2/2 + r^3 (1/6 + r/24 + r^2/120 + r^3/720), r^2 as
    // r1^2 (exact) + r2 (rh + r1) with r1 the top 26 bits of rh.
    const double rh = r.hi;
    const double r1 = top_26_bits(rh);
    const double r2 = rh - r1;
    const double square = rh * rh;
    const double from_cube = rh * square * (kInv6.hi + rh * (kInv24 + rh * (kInv120 + rh * kInv720)));
    const DoubleDouble t = fast_two_sum(rh, 0.5 * (r1 * r1));
    const DoubleDouble em1 =
        fast_two_sum(t.hi, t.lo + (r.lo + (0.5 * (r2 * (rh + r1)) + (rh * r.lo + from_cube))));

    // 2^(j/256) (1 + em1)
    const DoubleDouble table = kExp2By256[k & 255];
    const DoubleDouble p = two_product(table.hi, em1.hi);
    const DoubleDouble sum = fast_two_sum(table.hi, p.hi);
    const double lo = sum.lo + (table.lo + (p.lo + (table.hi * em1.lo + table.lo * em1.hi)));
    return {fast_two_sum(sum.hi, lo), static_cast<int>(k >> 8)};  // >> rounds down: k = 256 (k>>8) + (k&255)
}

// ln2/256 - kLn2By256Hi in one double: the sum of the two exact pieces
// rounded once, within 2^-97 of the true value.
inline constexpr double kLn2By256Tail = tables::kLn2By256Mid + tables::kLn2By256Lo;

// e^z for |z.hi| <= 746 and |z.lo| <= 2^-40, in mostly double arithmetic:
// the first, cheap attempt of exp, the hyperbolic functions and pow. As in
// exp_core, z = k ln2/256 + r, e^z = 2^(k>>8) 2^((k&255)/256) e^r, with
// r = rh + rl from a single two_sum (|rh| < 2^-9.49, |rl| <= 2^-63):
//   t (1 + rh + rl (1 + rh) + rest),  rest = rh^2/2 + ... + rh^6/720,
// where t rh, the one large product, is summed exactly in two pieces: t
// and rh cut at 26 bits (t1 r1 and (t - t1) r1 are exact), the remainder
// of rh (under 2^-25 |rh|) times t rounded. Errors relative to t.hi:
//   reduction: kd * kLn2By256Tail and its sum with z.lo, under 2^-77.1
//   together with the tail's own error;
//   Taylor's truncation after rh^6, under 2^-78.7;
//   rest in double: rh^2 (2^-73 after halving), the sum (2^-73), the
//   cubic part's evaluation (under 2^-81: it is below 2^-31);
//   t.hi rest rounded (2^-73), its sum with the small terms (2^-73);
//   t.lo rest left out (2^-73), and the small terms' own sums (2^-84).
// Total under 2^-70.6 (the result is at least 0.9986 t.hi); kExpQuickError
// keeps a factor 6.
// exp_quick after the reduction: 2^((k&255)/256) e^(r.hi + r.lo) as
// v * 2^(k>>8), for |r.hi| < 2^-9.49 and |r.lo| <= 2^-63; everything but
// the reduction's error above, under 2^-70.7.
inline Scaled exp_quick_reduced(int64_t k, DoubleDouble r) {
    using namespace tables;
    const double rh = r.hi;
    const double square = rh * rh;
    // In pairs (Estrin's scheme), for a shorter chain of dependent operations.
    const double from_cube = (kInv6.hi + rh * kInv24) + square * (kInv120 + rh * kInv720);
    const double rest = 0.5 * square + (rh * square) * from_cube;

    const DoubleDouble t = kExp2By256[k & 255];
    const double r1 = top_26_bits(rh);
    const double t1 = top_26_bits(t.hi);
    const DoubleDouble head = fast_two_sum(t.hi, t1 * r1);
    const double small =
        head.lo + (t.lo + ((t.hi - t1) * r1 + (t.hi * ((rh - r1) + r.lo * (1.0 + rh)) + t.lo * rh)));
    return {fast_two_sum(head.hi, t.hi * rest + small), static_cast<int>(k >> 8)};
}

inline Scaled exp_quick(DoubleDouble z) {
    using namespace tables;
    const double kd = steps_of_ln2_by_256(z.hi);
    // z.hi - kd * hi is exact, as in exp_core; the tail's product is under 2^-25.7.
    return exp_quick_reduced(static_cast<int64_t>(kd), two_sum(z.hi - kd * kLn2By256Hi, z.lo - kd * kLn2By256Tail));
}

// log(1 + r) for |r| <= 2^-8, by Horner's scheme in double-double from r^3
// on (so that the cubic term is exact to 2^-66 of its size) and double
// beyond r^5:
//   r + r^2 (-1/2 + r (1/3 + r (-1/4 + r (1/5 - r/6 + ... - r^7/10)))).
// Truncation after r^10 errs under |r|^11/11 < 2^-83 |r|; the rest under
// 2^-95 |r|.
inline DoubleDouble log1p_small(double r) {
    using namespace tables;
    const double from_fifth =
        kInv5 + r * (-kInv6.hi + r * (kInv7 + r * (-0.125 + r * (kInv9 - r * kInv10))));
    const DoubleDouble fourth = fast_two_sum(-0.25, r * from_fifth);
    const DoubleDouble third = add(kInv3, multiply(fourth, r));
    const DoubleDouble ru = multiply(third, r);
    const DoubleDouble second = fast_two_sum(-0.5, ru.hi);
    const DoubleDouble w = {second.hi, second.lo + ru.lo};
    return add(multiply(multiply(w, r), r), r);
}

// x = 2^e m, m in [1, 2), split around the table point c = 1 + i/256
// nearest m: log x = exponent ln2 + minus_log + log(1 + r), with r =
// m inverse - 1 exact (|r| < 2^-8.4) and one ln2 moved from the table entry
// to the exponent where c > sqrt 2, so that x just below 1 takes exponent 0
// and no cancellation happens.
struct LogReduction {
    double exponent;
    const tables::LogEntry* entry;
    double r;
};

// For positive finite x, subnormals included. m inverse - 1 is computed
// exactly without a fused multiply-add: m = high (44 bits) + low (9 bits),
// high * inverse and low * inverse are exact (inverse has 9 bits), the first
// minus 1 is exact (Sterbenz), and so is the last sum, whose exact value is
// a double (on the grid of 2^-61, below 2^-8 in magnitude).
// `bits` those of a positive normal double times 2^-shift (shift 0, or 54
// for a subnormal x scaled into the normal range).
inline LogReduction reduce_for_log(uint64_t bits, int shift) {
    using namespace tables;
    const int e = static_cast<int>(bits >> 52) - 1023 - shift;
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    const double m = std::bit_cast<double>(fraction | (uint64_t{1023} << 52));
    const double m_high = std::bit_cast<double>((fraction | (uint64_t{1023} << 52)) & ~uint64_t{0x1ff});
    const auto i = static_cast<int>(((fraction >> 43) + 1) >> 1);
    const LogEntry& entry = kLogTable[i];
    const double r = (m_high * entry.inverse - 1.0) + (m - m_high) * entry.inverse;
    return {static_cast<double>(e + (i >= kLogHalvedFrom ? 1 : 0)), &entry, r};
}

inline LogReduction reduce_for_log(double x) {
    const auto bits = std::bit_cast<uint64_t>(x);
    if ((bits >> 52) == 0) return reduce_for_log(std::bit_cast<uint64_t>(x * 0x1p54), 54);
    return reduce_for_log(bits, 0);
}

// exponent ln2 + minus_log as hi + lo: the product with the 42-bit kLn2Hi
// is exact, and so is its sum with the table's high part, both multiples of
// 2^-42 below 2^10 in magnitude. The rest errs under 2^-95 (|exponent| + 1):
// kLn2Lo's own error and its product rounded, under 2^-98 and 2^-97.05 of
// |exponent|, the table's low part (below 2^-43) 2^-97, and their sum
// rounded, under 2^-96 + 2^-97.05 |exponent|.
inline DoubleDouble log_base(const LogReduction& d) {
    using namespace tables;
    return {d.exponent * kLn2Hi + d.entry->minus_log.hi, d.entry->minus_log.lo + d.exponent * kLn2Lo};
}

// log(x) to kLogCoreError, for positive finite x.
// Error: log1p_small under 2^-83 of its value; the base under
// 2^-95 (|exponent| + 1); the final sum under 2^-104. Where the exponent
// is 0 and the table entry is not, |log x| > 2^-9 while the errors stay
// under 2^-91; where the exponent is not 0, |log x| > 0.34. Relative error
// under 2^-82; kLogCoreError keeps a factor 8.
inline DoubleDouble log_core(double x) {
    const LogReduction d = reduce_for_log(x);
    const DoubleDouble base = log_base(d);
    return add(fast_two_sum(base.hi, base.lo), log1p_small(d.r));
}

// log(x) in mostly double arithmetic, with its error bound: the first,
// cheap attempt of log, log10 and pow.
struct LogEstimate {
    DoubleDouble v;
    double error;  // |v - log x| below this
};

// r^3 (1/3 - r/4 + ... + r^6/9) for |r| < 2^-8.4 in double, its terms in
// pairs (Estrin's scheme) for a short chain of dependent operations: under
// 2^-50 of its value from the roundings.
inline double log1p_cubic_part(double r, double square) {
    using namespace tables;
    const double fourth_power = square * square;
    const double low = (kInv3.hi - 0.25 * r) + square * (kInv5 - kInv6.hi * r);
    const double high = (kInv7 - 0.125 * r) + square * kInv9;
    return (r * square) * (low + fourth_power * high);
}

// log(1 + r) = r - r^2/2 + r^3 (1/3 - r/4 + ... + r^6/9), with r^2/2 split
// exactly at its high part (r's top 26 bits squared) and the sum of the
// large parts exact: base + r - r1^2/2 by fast_two_sums, since base is 0
// or larger than 2^-8.01 > |r| in magnitude (the smallest table entries are
// near +-2^-8, and where the exponent is not 0, |base| > 0.34), and
// |base + r| > 2^-9.6 or base + r = r exceeds r1^2/2 < 2^-17.8. What remains errs by
//   the cubic part in double, under 2^-50 |r|^3 < 2^-78 (|r| < 2^-8.4),
//   its coefficients and truncation after r^9, under 2^-54 |r|^3 + r^10/10,
//   the base, under 2^-95 (|exponent| + 1), and exact where both are 0,
//   the sum of the low parts (below 2^-26.5 in magnitude), under 2^-79.
// Where exponent and table entry are both 0, log x = log(1 + r), and each
// of these is relative to |r|: under 2^-67 of the result altogether.
// Elsewhere under 2^-77 + 2^-95 (|exponent| + 1) absolutely; the bound,
// 2^-76 + 2^-95 |exponent|, keeps nearly a factor 2 on the first term.
// log_quick's sum before its last fast_two_sum: log x = hi + lo to within
// error, |lo| below 2^-26.7 (the cubic part, up to 2^-26.8, and low parts
// below 2^-41), and hi the first to be known, before the polynomial.
struct LogParts {
    double hi, lo, error;
};

inline LogParts log_quick_parts(const LogReduction& d) {
    const double r = d.r;
    const double r1 = top_26_bits(r);
    const double r2 = r - r1;
    const double half_square_hi = 0.5 * (r1 * r1);  // exact: 26 bits squared
    const double half_square_lo = r1 * r2 + 0.5 * (r2 * r2);
    const double square = r * r;
    const double cubic = log1p_cubic_part(r, square);
    const DoubleDouble base = log_base(d);
    const DoubleDouble head = fast_two_sum(base.hi, r);
    const DoubleDouble hi = fast_two_sum(head.hi, -half_square_hi);
    const double lo = (((base.lo + head.lo) + hi.lo) - half_square_lo) + cubic;
    const bool plain_log1p = d.exponent == 0 && d.entry->minus_log.hi == 0;
    // Where plain_log1p, hi.hi stands for the result: hi.hi = r - r1^2/2 and
    // lo is r^3/3 and far smaller low parts, below 2^-18.3 |hi.hi|; the
    // factor 1 + 2^-16 covers that.
    const double error = plain_log1p ? 0x1.0001p-67 * std::fabs(hi.hi) : 0x1p-76 + 0x1p-95 * std::fabs(d.exponent);
    return {hi.hi, lo, error};
}

inline LogEstimate log_quick(const LogReduction& d) {
    const LogParts parts = log_quick_parts(d);
    return {fast_two_sum(parts.hi, parts.lo), parts.error};
}

inline LogEstimate log_quick(double x) { return log_quick(reduce_for_log(x)); }

// log(x) to what rounding log x itself needs, cheaper than log_quick away
// from 1: where the exponent is not 0, |log x| > 0.34, and an absolute
// error of 1.5 * 2^-69 (relative 2^-67) lets the rounding test reject rarely.
// There r^2/2 is rounded (under 2^-70.8, |r| < 2^-8.4), and so are the
// sums of the low parts (below 2^-17.7: under 2^-70.8 each, twice); with
// the cubic part's and the base's errors (log_quick's), under 2^-69.17.
// pow's product with y magnifies the error of log x: it takes log_quick.
inline LogEstimate log_estimate(double x) {
    const LogReduction d = reduce_for_log(x);
    if (d.exponent == 0) return log_quick(d);
    const double r = d.r;
    const double square = r * r;
    const DoubleDouble base = log_base(d);
    const DoubleDouble head = fast_two_sum(base.hi, r);
    const double lo = ((base.lo + head.lo) - 0.5 * square) + log1p_cubic_part(r, square);
    return {fast_two_sum(head.hi, lo), 0x1.8p-69};
}

// The double nearest to v = hi + lo, when everything within `error` of v
// rounds to it; nothing otherwise. As round_if_sure, with an absolute
// bound (at least 2^-95 |hi|).
inline std::optional<double> round_if_sure_within(DoubleDouble v, double error) {
    const double e = error * kSlack;
    const double below = v.hi + (v.lo - e);
    const double above = v.hi + (v.lo + e);
    if (below == above) return above;
    return std::nullopt;
}

// pow's exponential after the reduction, in plain double: 2^((k&255)/256)
// e^(d + w) as hi + lo times 2^(k>>8), for |d| < 2^-9.52 known early and
// |w| < 2^-16.6 known late, to 2^-62.4: pow's result needs no more to
// round correctly nearly always, and what the rounding test then rejects
// (about 1 in 300) costs less than exact products would on every call.
// lo is not normalised (|lo| < 2^-16.4 |hi|): the rounding test takes the
// pair as it is, and kPowExpError covers the 2^-53 |lo| by which that
// test's sums lo -+ e may err (2^-69.39 |hi|).
// With t = t.hi + t.lo = 2^((k&255)/256) (t.hi in [1, 2), |t.lo| <= 2^-53)
// and rho = d + w,
//   t e^rho = t.hi + t.hi d + [t.lo + t.lo d + t.hi w + t.hi Q(rho)]
//           + t.lo (w + Q(rho)),   Q(rho) = rho^2/2 + rho^3/6 + ... ,
// t.hi + t.hi d by fast_two_sum. Errors relative to t.hi:
//   t.hi d rounded, under 2^-53 2^-9.52 = 2^-62.52, the one large error;
//   Q to rho^6/720 (Taylor), truncated under |rho|^7/5040 < 2^-78.8
//   (|rho| < 2^-9.51), taken at r = d + w rounded (2^-62.51 off, which
//   moves Q by under 2^-72), and evaluated with four roundings on its
//   rho^2/2 term (2^-50.99 of 2^-20.01) and the rest under 2^-73: 2^-70.2;
//   t.hi w rounded, under 2^-69.6; the sums of the low terms (t.hi w,
//   t.lo d, t.lo, head.lo: partial sums below 2^-16.58 t.hi), three
//   roundings under 2^-69.57 each, and the last sum with Q's part, 2^-69.4;
//   left out: t.lo (w + Q(rho)), under 2^-53 (2^-16.6 + 2^-20) < 2^-69.4,
//   and the table's own error, 2^-106.
// Total under 2^-62.45 t.hi; hi and the exact value are at least 0.9986
// t.hi (e^-|rho|), so relative to either under 2^-62.44, and 2^-62.43 with
// the test's allowance; kPowExpError keeps a factor 1.3.
inline Scaled pow_exp_reduced(int64_t k, double d, double w) {
    using namespace tables;
    const DoubleDouble t = kExp2By256[k & 255];
    const double r = d + w;
    const double square = r * r;
    // t.hi Q(r) in pairs (Estrin's scheme), for a short chain after w.
    const double t_square = t.hi * square;
    const double from_fourth = (kInv24 + r * kInv120) + square * kInv720;
    const double q = t_square * (0.5 + r * kInv6.hi) + (t_square * square) * from_fourth;

    const DoubleDouble head = fast_two_sum(t.hi, t.hi * d);
    const double low = head.lo + (t.lo + (t.hi * w + t.lo * d));
    return {{head.hi, low + q}, static_cast<int>(k >> 8)};
}

// x^y = e^(y log x) for pow's first attempt, as v * 2^scale to within
// kPowQuickError relative, for positive normal x not within 2^-9 of 1
// (reduced as d) and 2^-64 <= |y| < 2^10: pow_product first, then, where
// the caller has checked that |p| < 746 (p = p.hi below), pow_quick.
// The exponential's reduction starts from hi y alone, so that it runs while
// the logarithm's polynomial is still being evaluated:
//   log x = hi + lo to within log_error (log_quick_parts, |lo| < 2^-26.7);
//   y hi = p + e exactly (Dekker), |e| <= 2^-53 |p|;
//   k = p 256/ln2 rounded, d = p - k hi256 exact (as in exp_core), |d| <
//   2^-9.53 + 2^-26 < 2^-9.52;
//   w = (e + y lo) - k tail256, |w| < 2^-16.6, as pow_exp_reduced needs.
// Errors in y log x - (k ln2/256 + d + w): y log_error, under 2^10
// (2^-76 + 2^-95 1024) < 2^-65.99 (x away from 1, where log_quick's error
// is absolute); y lo rounded, its sum with e and the difference with
// k tail256 rounded, under 2^-52.9 |y lo| each and 2^-105 |p| (bounded by
// 2^-51 2^-16.7 + 2^-100 709.8 < 2^-67.69); the product k tail256
// (|k tail256| < 2^-26) and the tail's own error (2^-97 |k|) under 2^-78
// together. Under 1.32 2^-66 in all; an absolute error in the exponent is
// the same relative error of e^z, up to the factor kSlack, and the
// exponential's own is kPowExpError.
inline constexpr double kPowQuickError = kPowExpError + 0x1.8p-66;

struct PowProduct {
    LogParts log_x;
    DoubleDouble p;  // y log_x.hi exactly
};

inline PowProduct pow_product(const LogReduction& d, double y) {
    const LogParts log_x = log_quick_parts(d);
    return {log_x, two_product(log_x.hi, y)};
}

inline Scaled pow_quick(const PowProduct& q, double y) {
    using namespace tables;
    const double kd = steps_of_ln2_by_256(q.p.hi);
    const double w = (q.p.lo + y * q.log_x.lo) - kd * kLn2By256Tail;
    return pow_exp_reduced(static_cast<int64_t>(kd), q.p.hi - kd * kLn2By256Hi, w);
}

// v * 2^k by adding k to v's exponent field: exact where v and v * 2^k are
// both positive normal doubles.
inline double scale_normal(double v, int k) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(v) + (static_cast<uint64_t>(k) << 52));
}

// The fast paths: the correctly rounded result, or nothing where the
// rounding test fails or the input lies in a class left to the accurate
// path (results below 2^-1022 from exp and pow).
std::optional<double> exp_fast(double x);
std::optional<double> log_fast(double x);
std::optional<double> log10_fast(double x);
std::optional<double> sinh_fast(double x);
std::optional<double> cosh_fast(double x);
std::optional<double> tanh_fast(double x);
std::optional<double> pow_fast(double x, double y);

// The fast path's result, or the accurate path's where it gives none.
template <std::optional<double> (*Fast)(double), Accurate F>
double correctly_rounded(double x) {
    if (auto v = Fast(x)) return *v;
    return accurately(F, x);
}

}  // namespace hostmath::elementary
