// SPDX-License-Identifier: GPL-3.0-or-later
// The text outa prints for one element: p significant digits, the form
// (fixed or scientific) chosen from the element's own decimal exponent,
// the exponent always written with three digits, trailing zeros dropped.
// Pure and independent of the host, so it can be checked on its own.
#pragma once

#include <cstddef>

namespace hostmath {

inline constexpr int kMinPrecision = 2;
inline constexpr int kMaxPrecision = 18;
// The longest text is p + 7 characters: "-d." + (p - 1) digits + "e+ddd".
inline constexpr int kMaxFormattedLength = kMaxPrecision + 7;

struct FormattedNumber {
    char text[kMaxFormattedLength + 1];  // null-terminated ASCII
    int length;
};

// v with `precision` significant digits (kMinPrecision..kMaxPrecision).
// Infinities and NaNs read "inf", "-inf" and "nan".
FormattedNumber format_number(double v, int precision);

// The power of ten of the leading significant digit of the exact value of
// |v| (finite, non-zero), before any rounding: 9.9999999999999999e-2 gives -2.
int decimal_exponent(double v);

}  // namespace hostmath
