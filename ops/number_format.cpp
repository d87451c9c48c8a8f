// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostmath {

namespace {

// Digits after the point with which decimal_exponent prints |v|. Printing
// rounds, and a rounding that carries into the next power of ten would give
// an exponent one too large. Only the largest double below a power of ten
// can come that close to it; over every power of ten that doubles reach,
// the closest one needs 18 digits to stay below (the number-format tests
// check this against the exact expansion), so 24 leaves a margin.
constexpr int kExponentProbeDigits = 24;

// Room for any text formatted here: the probe above, or at most a sign, 19
// digits, a point and an exponent.
constexpr size_t kPrintBuffer = 64;

// v with `digits` digits after the point, in scientific or fixed form, as a
// terminated text; its length. std::to_chars rounds the exact value as
// printf does, but whatever C locale the host process has set: a point is
// always a point.
size_t print(char (&buf)[kPrintBuffer], double v, std::chars_format form, int digits) {
    const std::to_chars_result r = std::to_chars(buf, buf + kPrintBuffer - 1, v, form, digits);
    *r.ptr = '\0';
    return static_cast<size_t>(r.ptr - buf);
}

// The exponent of a scientific text, read from the text after its 'e', so
// that the width of the exponent does not matter.
int exponent_of(const char* text) {
    const char* p = std::strchr(text, 'e');
    if (p == nullptr) return 0;
    ++p;
    int sign = 1;
    if (*p == '-' || *p == '+') sign = (*p++ == '-') ? -1 : 1;
    int x = 0;
    while (*p >= '0' && *p <= '9') x = x * 10 + (*p++ - '0');
    return sign * x;
}

// Drops the zeros that end the digits after a decimal point; the point stays.
// Texts without a point are left alone.
size_t trim_fraction(const char* text, size_t length) {
    const void* point = std::memchr(text, '.', length);
    if (point == nullptr) return length;
    while (length > 0 && text[length - 1] == '0') --length;
    return length;
}

class Builder {
public:
    void append(const char* s, size_t n) {
        for (size_t k = 0; k < n && f_.length < kMaxFormattedLength; ++k) f_.text[f_.length++] = s[k];
    }
    void append(const char* s) { append(s, std::strlen(s)); }
    void append(char c) { append(&c, 1); }
    FormattedNumber done() {
        f_.text[f_.length] = '\0';
        return f_;
    }

private:
    FormattedNumber f_{{}, 0};
};

// Three-digit exponent with its sign: e+006, e-002, e+308.
void append_exponent(Builder& b, int e) {
    b.append('e');
    b.append(e < 0 ? '-' : '+');
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", std::abs(e));
    b.append(digits);
}

FormattedNumber scientific(double v, int precision) {
    char buf[kPrintBuffer];
    print(buf, v, std::chars_format::scientific, precision - 1);
    // The exponent is that of the rounded value: 9999999.6 at 6 digits is 1.e+007.
    const int exponent = exponent_of(buf);
    const size_t mantissa = static_cast<size_t>(std::strchr(buf, 'e') - buf);
    Builder b;
    b.append(buf, trim_fraction(buf, mantissa));
    append_exponent(b, exponent);
    return b.done();
}

FormattedNumber fixed(double v, int decimals) {
    char buf[kPrintBuffer];
    const size_t n = print(buf, v, std::chars_format::fixed, decimals);
    Builder b;
    b.append(buf, trim_fraction(buf, n));
    return b.done();
}

FormattedNumber word(const char* text) {
    Builder b;
    b.append(text);
    return b.done();
}

}  // namespace

int decimal_exponent(double v) {
    char buf[kPrintBuffer];
    print(buf, v, std::chars_format::scientific, kExponentProbeDigits);
    return exponent_of(buf);
}

FormattedNumber format_number(double v, int precision) {
    if (std::isnan(v)) return word("nan");
    if (std::isinf(v)) return word(v < 0 ? "-inf" : "inf");
    // The form follows the exponent of v itself, not of v rounded to
    // `precision` digits, so the rounding may still carry into one more
    // digit: 999999.7 at 6 digits has exponent 5 and prints fixed as
    // 1000000, 0.9999997 prints 1. and 0.09999997 prints 1.e-001.
    const int e = (v == 0) ? 0 : decimal_exponent(v);
    if (e < -1 || e > precision - 1) return scientific(v, precision);
    return fixed(v, precision - 1 - e);
}

}  // namespace hostmath
