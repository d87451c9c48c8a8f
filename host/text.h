// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-16 host strings to UTF-8, for messages and logs on systems whose
// console speaks UTF-8. Shared by the library and the stand-in host.
#pragma once

#include <string>
#include <string_view>

namespace hosttext {

// Each UTF-8 byte of the code point c, in order, to put(char).
template <class Put>
void put_utf8(char32_t c, Put&& put) {
    if (c < 0x80) {
        put(static_cast<char>(c));
    } else if (c < 0x800) {
        put(static_cast<char>(0xC0 | (c >> 6)));
        put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        put(static_cast<char>(0xE0 | (c >> 12)));
        put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        put(static_cast<char>(0xF0 | (c >> 18)));
        put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Each UTF-8 byte of s, in order, to put(char), allocating nothing. An
// unpaired surrogate becomes U+FFFD.
template <class Put>
void encode_utf8(std::u16string_view s, Put&& put) {
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        put_utf8(c, put);
    }
}

inline std::string to_utf8(std::u16string_view s) {
    std::string out;
    encode_utf8(s, [&out](char byte) { out += byte; });
    return out;
}

}  // namespace hosttext
