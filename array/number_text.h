// SPDX-License-Identifier: GPL-3.0-or-later
// Number text: numbers written as tokens between separators in a host
// string, as `matrix` and `SetArray` read it.
//
// Separators are space, tab, carriage return, line feed and comma. A token
// is a maximal run of 0-9 . + - e E; its value is what strtod makes of the
// token alone (the longest decimal prefix, 0 when there is none), read
// independently of the process locale. Any other character where a token
// would start is a fault. The text ends at its terminating null.
#pragma once

#include <cstdint>
#include <span>

#include "host/host_abi.h"

namespace hostmath {

inline bool is_line_end(HostChar c) { return c == u'\r' || c == u'\n'; }
inline bool is_separator(HostChar c) { return c == u' ' || c == u'\t' || c == u',' || is_line_end(c); }
inline bool is_token_char(HostChar c) {
    return (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E';
}

// The value of the token [begin, end), by the rules of strtod.
double token_value(const HostChar* begin, const HostChar* end);

// Walks a number text item by item. Separators other than line ends are
// skipped; line ends are reported, for readers that count rows.
class NumberTextReader {
public:
    enum class Item : uint8_t { Token, LineEnd, End, BadCharacter };

    explicit NumberTextReader(const HostChar* text) : next_(text) {}

    // The next item. After Token, token_begin()/token_end() delimit it;
    // after End or BadCharacter the reader stays where it is.
    Item next();
    // As next(), but passes over line ends.
    Item next_ignoring_lines();

    const HostChar* token_begin() const { return token_begin_; }
    const HostChar* token_end() const { return next_; }
    double token() const { return token_value(token_begin_, next_); }

private:
    const HostChar* next_;
    const HostChar* token_begin_ = nullptr;
};

// The shape of a matrix text: every line that holds tokens is a row, and
// all rows must hold the same number of tokens.
struct TextRows {
    enum class Fault : uint8_t { None, RaggedRows, BadCharacter };
    Fault fault = Fault::None;
    int64_t tokens = 0;
    int64_t columns = 0;  // 0 while no row has been closed
};
TextRows measure_rows(const HostChar* text);

// Writes the text's numbers into `out` in reading order and stops when
// every element is written or the text ends. Returns how many were written;
// *bad_character says whether a fault ended the reading.
int64_t read_numbers(const HostChar* text, std::span<double> out, bool* bad_character);

}  // namespace hostmath
