// SPDX-License-Identifier: GPL-3.0-or-later
// outa: prints an array as text through the host's output function and
// returns the number of wide characters written. The script function
// "math::outa" and the handler of operator code 49 are this one function.
#include <cstdio>
#include <cstring>

#include "kernels/scratch.h"
#include "ops/number_format.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr const HostChar* kOutaKey = u"math::outa";

enum OutaCode : int64_t {
    kBadArgumentCount = 1,
    kBadOption = 2,
    kNoArray = 3,
    kNoIndexBuffer = 4,
};

// Defaults, and the extra width of a field over the precision: the longest
// element text has p + 7 characters, so at least two spaces separate fields.
constexpr int64_t kDefaultPrecision = 6;
constexpr int64_t kFieldExtra = 9;

// Longest piece: an element field (at most kMaxPrecision + kFieldExtra
// characters of padding) or a 64-bit index in decimal.
constexpr size_t kPieceCapacity = 40;

struct OutaOptions {
    int precision = kDefaultPrecision;
    bool right_aligned = true;
    bool labels = false;
};

// The host's output function, asked for at every call; null when the host
// has none.
HostOutputFn output_function() {
    const int64_t key = 0;
    return reinterpret_cast<HostOutputFn>(host().SearchKey(&key, 8, kKeyOutputFunction));
}

// Hands pieces of ASCII text to the host one by one and counts the wide
// characters written.
class Printer {
public:
    Printer(HostOutputFn out, bool right_aligned) : out_(out), right_aligned_(right_aligned) {}

    void write(const char* text, size_t length) {
        HostChar piece[kPieceCapacity + 1];
        if (length > kPieceCapacity) length = kPieceCapacity;
        for (size_t k = 0; k < length; ++k) piece[k] = static_cast<HostChar>(text[k]);
        piece[length] = 0;
        out_(piece);
        written_ += static_cast<int64_t>(length);
    }
    void write(const char* text) { write(text, std::strlen(text)); }

    // The text padded with spaces to `width`: the padding and the text are two
    // pieces, the padding possibly empty, and it goes before the text with
    // right alignment and after it otherwise.
    void field(const char* text, size_t length, size_t width) {
        const size_t padding = length < width ? width - length : 0;
        if (right_aligned_) spaces(padding);
        write(text, length);
        if (!right_aligned_) spaces(padding);
    }

    int64_t written() const { return written_; }

private:
    void spaces(size_t n) {
        char blanks[kPieceCapacity];
        if (n > kPieceCapacity) n = kPieceCapacity;
        for (size_t k = 0; k < n; ++k) blanks[k] = ' ';
        write(blanks, n);
    }

    HostOutputFn out_;
    bool right_aligned_;
    int64_t written_ = 0;
};

// Options from the 2nd to 4th arguments; false when one has the wrong kind.
bool read_options(int64_t last_index, const HostValue* args, OutaOptions* o) {
    if (last_index >= 1) {
        const HostValue& p = args[1];
        if (!is_integer(p) || p.integer() < kMinPrecision || p.integer() > kMaxPrecision) return false;
        o->precision = static_cast<int>(p.integer());
    }
    if (last_index >= 2) {
        if (!is_logical(args[2])) return false;
        o->right_aligned = args[2].word1 != 0;
    }
    if (last_index >= 3) {
        if (!is_logical(args[3])) return false;
        o->labels = args[3].word1 != 0;
    }
    return true;
}

int decimal_digits(int64_t n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

// "(i,j,*)  " with every index padded to `index_width`; "(*)  " for a vector.
void write_label(Printer& out, const int64_t* index, int64_t leading_dims, int index_width) {
    out.write("(");
    for (int64_t k = 0; k < leading_dims; ++k) {
        char digits[24];
        const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(index[k]));
        out.field(digits, static_cast<size_t>(n), static_cast<size_t>(index_width));
        out.write(",");
    }
    out.write("*)  ");
}

// Next line's indices, the next-to-last dimension running fastest; false
// after the last line.
bool advance(int64_t* index, const int64_t* dims, int64_t leading_dims) {
    for (int64_t k = leading_dims - 1; k >= 0; --k) {
        if (++index[k] < dims[k]) return true;
        if (k == 0) break;
        index[k] = 0;
    }
    return false;
}

void print_array(Printer& out, const RealArray& a, int64_t* index, const OutaOptions& o) {
    const int64_t leading_dims = a.ndims - 1;
    const int64_t per_line = a.dims[a.ndims - 1];
    int64_t largest = 0;
    for (int64_t k = 0; k < a.ndims; ++k) {
        index[k] = 0;
        if (a.dims[k] > largest) largest = a.dims[k];
    }
    const int index_width = decimal_digits(largest);
    const size_t width = static_cast<size_t>(o.precision + kFieldExtra);

    out.write("\r\n\r\n");
    // Without elements there is no line to print. Counting lines by the sizes
    // instead would let a size such as 4294967296 in 4294967296 x 0 print
    // billions of empty lines; with elements, every line holds at least one.
    if (a.count == 0) return;
    const double* element = a.data;
    do {
        if (o.labels) write_label(out, index, leading_dims, index_width);
        for (int64_t t = 0; t < per_line; ++t) {
            const FormattedNumber f = format_number(*element++, o.precision);
            out.field(f.text, static_cast<size_t>(f.length), width);
        }
        out.write("\r\n");
    } while (advance(index, a.dims, leading_dims));
}

}  // namespace

// An array without elements (some dimension of size 0) has no lines: only
// the opening line breaks are written. An array without dimensions, or
// whose sizes disagree with its element count (none that the library
// makes), is refused with code 3 before anything is written, so that no
// element outside the array is ever read.
HostValue* outa(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_integer(result, 0);
    const HostOutputFn out_fn = output_function();
    if (out_fn == nullptr) return result;
    if (last_index < 0 || last_index > 3) {
        report(kOutaKey, kBadArgumentCount, ctx);
        return result;
    }
    OutaOptions options;
    if (!read_options(last_index, args, &options)) {
        report(kOutaKey, kBadOption, ctx);
        return result;
    }
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) {
        report(kOutaKey, kNoArray, ctx);
        return result;
    }
    Scratch<int64_t> index(a->ndims);
    if (!index.ok()) {
        report(kOutaKey, kNoIndexBuffer, ctx);
        return result;
    }
    if (a->ndims < 1 || !has_consistent_shape(*a)) {
        report(kOutaKey, kNoArray, ctx);
        return result;
    }
    Printer out(out_fn, options.right_aligned);
    print_array(out, *a, index.get(), options);
    return write_integer(result, out.written());
}

}  // namespace hostmath
