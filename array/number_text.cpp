// SPDX-License-Identifier: GPL-3.0-or-later
#include "array/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace hostmath {

namespace {

// Significant digits kept for the conversion. A decimal that lies exactly
// halfway between two doubles has at most 767 significant digits, so 800
// kept digits plus one sticky digit for everything dropped round exactly as
// all the digits would.
constexpr int kKeptDigits = 800;
// Decimal exponents beyond this are infinite or zero for any mantissa; the
// cap keeps the exponent arithmetic far from overflow.
constexpr int64_t kExponentCap = 100000;
constexpr int64_t kOverflowExponent = 400;

bool is_digit(HostChar c) { return c >= u'0' && c <= u'9'; }

// The longest decimal prefix of a token, normalised as
// ±0.d1d2...dn × 10^exponent with d1 nonzero (n = 0 for a zero value).
struct Decimal {
    bool negative = false;
    int ndigits = 0;
    char digits[kKeptDigits];
    bool dropped_nonzero = false;
    int64_t exponent = 0;

    void take(HostChar c) {
        if (ndigits < kKeptDigits) {
            digits[ndigits++] = static_cast<char>(c);
        } else if (c != u'0') {
            dropped_nonzero = true;
        }
    }
};

// False when the token has no decimal prefix (no mantissa digit).
bool parse_decimal(const HostChar* p, const HostChar* end, Decimal* d) {
    if (p < end && (*p == u'+' || *p == u'-')) {
        d->negative = *p == u'-';
        ++p;
    }
    bool any_digit = false;
    bool significant = false;
    for (; p < end && is_digit(*p); ++p) {
        any_digit = true;
        if (significant || *p != u'0') {
            significant = true;
            d->take(*p);
            ++d->exponent;
        }
    }
    if (p < end && *p == u'.') {
        for (++p; p < end && is_digit(*p); ++p) {
            any_digit = true;
            if (significant || *p != u'0') {
                significant = true;
                d->take(*p);
            } else {
                --d->exponent;
            }
        }
    }
    if (!any_digit) return false;
    // An exponent counts only with at least one digit: "1e" and "1e+" are 1.
    if (p < end && (*p == u'e' || *p == u'E')) {
        const HostChar* q = p + 1;
        bool negative_exponent = false;
        if (q < end && (*q == u'+' || *q == u'-')) {
            negative_exponent = *q == u'-';
            ++q;
        }
        if (q < end && is_digit(*q)) {
            int64_t e = 0;
            for (; q < end && is_digit(*q); ++q) e = std::min<int64_t>(e * 10 + (*q - u'0'), kExponentCap);
            d->exponent += negative_exponent ? -e : e;
        }
    }
    return true;
}

}  // namespace

double token_value(const HostChar* begin, const HostChar* end) {
    Decimal d;
    if (!parse_decimal(begin, end, &d)) return 0.0;
    const double zero = d.negative ? -0.0 : 0.0;
    const double infinity = d.negative ? -HUGE_VAL : HUGE_VAL;
    if (d.ndigits == 0 || d.exponent < -kOverflowExponent) return zero;
    if (d.exponent > kOverflowExponent) return infinity;

    // "0.<digits>[1]e<exponent>": from_chars is locale-independent and
    // rounds correctly; the sign is applied afterwards, which is exact.
    char text[kKeptDigits + 16];
    char* out = text;
    *out++ = '0';
    *out++ = '.';
    out = std::copy_n(d.digits, d.ndigits, out);
    if (d.dropped_nonzero) *out++ = '1';
    *out++ = 'e';
    out = std::to_chars(out, text + sizeof text, d.exponent).ptr;

    double magnitude = 0.0;
    const auto [stop, error] = std::from_chars(text, out, magnitude);
    (void)stop;
    if (error == std::errc::result_out_of_range) return d.exponent > 0 ? infinity : zero;
    return d.negative ? -magnitude : magnitude;
}

auto NumberTextReader::next() -> Item {
    while (*next_ != 0 && is_separator(*next_) && !is_line_end(*next_)) ++next_;
    const HostChar c = *next_;
    if (c == 0) return Item::End;
    if (is_line_end(c)) {
        ++next_;
        return Item::LineEnd;
    }
    if (!is_token_char(c)) return Item::BadCharacter;
    token_begin_ = next_;
    while (is_token_char(*next_)) ++next_;
    return Item::Token;
}

auto NumberTextReader::next_ignoring_lines() -> Item {
    Item item = next();
    while (item == Item::LineEnd) item = next();
    return item;
}

TextRows measure_rows(const HostChar* text) {
    TextRows rows;
    int64_t in_line = 0;
    // Closes the current line: a line with tokens is a row and must match
    // the rows before it; a line without (a blank line, or the line feed of
    // a carriage return and line feed pair) is no row.
    auto close_line = [&rows, &in_line] {
        if (in_line == 0) return true;
        if (rows.columns == 0) rows.columns = in_line;
        if (rows.columns != in_line) return false;
        in_line = 0;
        return true;
    };

    NumberTextReader reader(text);
    for (;;) {
        switch (reader.next()) {
            case NumberTextReader::Item::Token:
                ++rows.tokens;
                ++in_line;
                break;
            case NumberTextReader::Item::LineEnd:
                if (!close_line()) {
                    rows.fault = TextRows::Fault::RaggedRows;
                    return rows;
                }
                break;
            case NumberTextReader::Item::BadCharacter:
                rows.fault = TextRows::Fault::BadCharacter;
                return rows;
            case NumberTextReader::Item::End:
                // The last line is a row even without a line end.
                if (!close_line()) rows.fault = TextRows::Fault::RaggedRows;
                return rows;
        }
    }
}

int64_t read_numbers(const HostChar* text, std::span<double> out, bool* bad_character) {
    *bad_character = false;
    NumberTextReader reader(text);
    size_t written = 0;
    while (written < out.size()) {
        const auto item = reader.next_ignoring_lines();
        if (item != NumberTextReader::Item::Token) {
            *bad_character = item == NumberTextReader::Item::BadCharacter;
            break;
        }
        out[written++] = reader.token();
    }
    return static_cast<int64_t>(written);
}

}  // namespace hostmath
