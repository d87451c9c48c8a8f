// SPDX-License-Identifier: GPL-3.0-or-later
// Sub-arrays of a matrix: subg cuts a part out into a new array (or makes a
// new array of the same shape filled by a pattern), subs overwrites a part
// in place. The indexed-read and indexed-assignment operators (codes 48 and
// 47) read and write single elements of arrays of any number of dimensions
// themselves and hand every other form on a matrix to these two.
//
// A matrix here is an array of two dimensions whose sizes account for all
// its elements; an array whose sizes claim more or fewer elements than it
// holds is refused like one of the wrong number of dimensions, so that no
// region computed from the sizes can reach outside the elements.
#include <algorithm>
#include <cstring>
#include <optional>

#include "array/random.h"
#include "script/math_array.h"
#include "script/operators.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr const HostChar* kSubgKey = u"math::subg";
constexpr const HostChar* kSubsKey = u"math::subs";
constexpr const HostChar* kOgetKey = u"math oget";
constexpr const HostChar* kOsetKey = u"math oset";

// Codes of subg and subs; they share 1, 2, 3 and 5.
enum SubCode : int64_t {
    kBadArgumentCount = 1,
    kNoArray = 2,
    kFillCodeNotInteger = 2,  // subg
    kNotMatrix = 3,
    kBadFillCode = 4,     // subg
    kBadSourceShape = 4,  // subs
    kBadIndex = 5,
    kNoNewArray = 6,  // subg
};

// Codes of the indexed read (oget) and assignment (oset) operators.
enum ElementCode : int64_t {
    kOpNoArgument = 1,
    kOpNoArray = 2,
    kOpWrongIndexCount = 3,
    kOgetBadIndex = 4,
    kOsetBadIndex = 3,
    kOsetShapeDiffers = 3,
    kOsetNotReal = 4,
};

// Fill codes of subg's two-argument form: the values of the constants
// math::zeros, ones, eye, rand and randn.
enum FillCode : int64_t { kFillZeros = 0, kFillOnes = 1, kFillEye = 2, kFillUniform = 3, kFillNormal = 4 };

struct Matrix {
    RealArray* array;
    int64_t rows;
    int64_t cols;
};

std::optional<Matrix> as_matrix(RealArray* a) {
    if (a->ndims != 2 || !has_consistent_shape(*a)) return std::nullopt;
    return Matrix{a, a->dims[0], a->dims[1]};
}

// What an index list selects; the kind decides which source shapes subs takes.
enum class Form : uint8_t { Whole, Element, Row, Column, Rows, Columns, Block };

struct Region {
    Form form;
    int64_t row0, rows, col0, cols;
};

Region whole(const Matrix& m) { return {Form::Whole, 0, m.rows, 0, m.cols}; }

// An inclusive range first..last of integers inside a dimension of `size`.
bool is_range_in(const HostValue& first, const HostValue& last, int64_t size) {
    return is_index_in(first, size) && is_index_in(last, size) && first.integer() <= last.integer();
}

// The region that one to four index arguments select, tested in the order
// the forms are listed; nullopt for anything else (code 5 for both
// functions).
std::optional<Region> select_region(const HostValue* idx, int64_t count, const Matrix& m) {
    switch (count) {
        case 2: {
            const HostValue& x = idx[0];
            const HostValue& y = idx[1];
            if (is_all_marker(x) && is_index_in(y, m.cols)) return Region{Form::Column, 0, m.rows, y.integer(), 1};
            if (!is_integer(x)) return std::nullopt;
            if (is_index_in(x, m.rows) && is_all_marker(y)) return Region{Form::Row, x.integer(), 1, 0, m.cols};
            if (is_index_in(x, m.rows) && is_index_in(y, m.cols))
                return Region{Form::Element, x.integer(), 1, y.integer(), 1};
            return std::nullopt;
        }
        case 3: {
            const HostValue& x = idx[0];
            const HostValue& y = idx[1];
            const HostValue& z = idx[2];
            if (is_all_marker(x) && is_range_in(y, z, m.cols))
                return Region{Form::Columns, 0, m.rows, y.integer(), z.integer() - y.integer() + 1};
            if (is_range_in(x, y, m.rows) && is_all_marker(z))
                return Region{Form::Rows, x.integer(), y.integer() - x.integer() + 1, 0, m.cols};
            return std::nullopt;
        }
        case 4:
            if (is_range_in(idx[0], idx[1], m.rows) && is_range_in(idx[2], idx[3], m.cols)) {
                return Region{Form::Block, idx[0].integer(), idx[1].integer() - idx[0].integer() + 1,
                              idx[2].integer(), idx[3].integer() - idx[2].integer() + 1};
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

// Whether b fits the region as subs requires: a row or a column also takes
// a one-dimensional source of as many elements.
bool source_fits(const Region& r, const Matrix& target, const RealArray& b) {
    switch (r.form) {
        case Form::Whole:
            return same_shape(b, *target.array) && b.count == target.array->count;
        case Form::Element:
            return b.ndims == 2 && b.count == 1;
        case Form::Row:
            return b.count == r.cols && (b.ndims == 1 || (b.ndims == 2 && b.dims[0] == 1));
        case Form::Column:
            return b.count == r.rows && (b.ndims == 1 || (b.ndims == 2 && b.dims[1] == 1));
        case Form::Rows:
        case Form::Columns:
        case Form::Block:
            return is_matrix_of(b, r.rows, r.cols);
    }
    return false;
}

// memmove, since subs and oset may copy an array onto itself; n = 0 may
// come with null pointers from the host and touches nothing.
void move_doubles(double* to, const double* from, int64_t n) {
    if (n > 0) std::memmove(to, from, static_cast<size_t>(n) * sizeof(double));
}

// Into a new array, which overlaps nothing. A plain loop: into freshly
// allocated memory it measured 10-20% faster than the C library's copy of
// large blocks.
void copy_doubles(double* to, const double* from, int64_t n) {
    for (int64_t k = 0; k < n; ++k) to[k] = from[k];
}

// The region of an m x n matrix, row by row, to or from a dense
// rows x cols buffer. Whole rows are one contiguous run, so the number of
// passes never depends on a size alone (a matrix of 0 columns and 2^32 rows
// costs nothing).
void read_region(const Matrix& m, const Region& r, double* out) {
    const double* from = m.array->data + r.row0 * m.cols + r.col0;
    if (r.cols == m.cols) return copy_doubles(out, from, r.rows * r.cols);
    for (int64_t i = 0; i < r.rows; ++i) copy_doubles(out + i * r.cols, from + i * m.cols, r.cols);
}

void write_region(const Matrix& m, const Region& r, const double* in) {
    double* to = m.array->data + r.row0 * m.cols + r.col0;
    if (r.cols == m.cols) return move_doubles(to, in, r.rows * r.cols);
    for (int64_t i = 0; i < r.rows; ++i) move_doubles(to + i * m.cols, in + i * r.cols, r.cols);
}

// Ones where the row index equals the column index, also when not square.
void fill_eye(RealArray& a, int64_t rows, int64_t cols) {
    std::ranges::fill(elements(a), 0.0);
    const int64_t diagonal = std::min(rows, cols);
    for (int64_t i = 0; i < diagonal; ++i) a.data[i * cols + i] = 1.0;
}

// subg(a, k): a new array of a's shape filled by pattern k. A code outside
// 0..4 is reported, and the new array (zero-filled) is still the result.
HostValue* filled_like(HostValue* result, const Matrix& m, const HostValue& code, void* ctx) {
    if (!is_integer(code)) return fail(result, kSubgKey, kFillCodeNotInteger, ctx);
    RealArray* c = new_matrix(m.rows, m.cols);
    if (c == nullptr) return fail(result, kSubgKey, kNoNewArray, ctx);
    return_new_array(result, c, ctx);
    switch (code.integer()) {
        case kFillZeros:
            std::ranges::fill(elements(*c), 0.0);
            break;
        case kFillOnes:
            std::ranges::fill(elements(*c), 1.0);
            break;
        case kFillEye:
            fill_eye(*c, m.rows, m.cols);
            break;
        case kFillUniform:
            fill_uniform(elements(*c));
            break;
        case kFillNormal:
            fill_standard_normal(elements(*c));
            break;
        default:
            std::ranges::fill(elements(*c), 0.0);
            report(kSubgKey, kBadFillCode, ctx);
            break;
    }
    return result;
}

HostValue* cut(HostValue* result, const Matrix& m, const Region& r, void* ctx) {
    RealArray* c = new_matrix(r.rows, r.cols);
    if (c == nullptr) return fail(result, kSubgKey, kNoNewArray, ctx);
    read_region(m, r, c->data);
    return return_new_array(result, c, ctx);
}

}  // namespace

HostValue* subg(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1 || nargs > 5) return fail(result, kSubgKey, kBadArgumentCount, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kSubgKey, kNoArray, ctx);
    const std::optional<Matrix> m = as_matrix(a);
    if (!m) return fail(result, kSubgKey, kNotMatrix, ctx);
    if (nargs == 1) return cut(result, *m, whole(*m), ctx);
    if (nargs == 2) return filled_like(result, *m, args[1], ctx);
    const std::optional<Region> r = select_region(args + 1, nargs - 1, *m);
    if (!r) return fail(result, kSubgKey, kBadIndex, ctx);
    return cut(result, *m, *r, ctx);
}

HostValue* subs(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs != 2 && nargs != 4 && nargs != 5 && nargs != 6) return fail(result, kSubsKey, kBadArgumentCount, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kSubsKey, kNoArray, ctx);
    const std::optional<Matrix> m = as_matrix(a);
    if (!m) return fail(result, kSubsKey, kNotMatrix, ctx);
    RealArray* b = array_arg(args[nargs - 1]);
    if (b == nullptr) return fail(result, kSubsKey, kNoArray, ctx);
    const std::optional<Region> r = nargs == 2 ? whole(*m) : select_region(args + 1, nargs - 2, *m);
    if (!r) return fail(result, kSubsKey, kBadIndex, ctx);
    if (!source_fits(*r, *m, *b)) return fail(result, kSubsKey, kBadSourceShape, ctx);
    write_region(*m, *r, b->data);
    return return_argument(result, args[0]);
}

// Indexed read: an element as a real; on a matrix every form but two
// integer indices inside it is subg's.
HostValue* op_oget(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 1) return fail(result, kOgetKey, kOpNoArgument, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kOgetKey, kOpNoArray, ctx);
    const int64_t nidx = nargs - 1;
    int64_t pos = 0;
    if (a->ndims == 1) {
        if (nidx != 1) return fail(result, kOgetKey, kOpWrongIndexCount, ctx);
        if (!is_index_in(args[1], a->count)) return fail(result, kOgetKey, kOgetBadIndex, ctx);
        return write_real(result, a->data[args[1].integer()]);
    }
    if (a->ndims == 2) {
        if (nidx == 2 && element_position(*a, args + 1, &pos)) return write_real(result, a->data[pos]);
        return subg(result, last_index, args, ctx);
    }
    if (nidx != a->ndims) return fail(result, kOgetKey, kOpWrongIndexCount, ctx);
    if (!element_position(*a, args + 1, &pos)) return fail(result, kOgetKey, kOgetBadIndex, ctx);
    return write_real(result, a->data[pos]);
}

// Indexed assignment: a whole array or one element from a real; the row,
// column, range and block forms on a matrix are subs's.
HostValue* op_oset(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    const int64_t nargs = last_index + 1;
    if (nargs < 2) return fail(result, kOsetKey, kOpNoArgument, ctx);
    RealArray* a = array_arg(args[0]);
    if (a == nullptr) return fail(result, kOsetKey, kOpNoArray, ctx);
    if (nargs == 2) {
        RealArray* b = array_arg(args[1]);
        if (b == nullptr) return fail(result, kOsetKey, kOpNoArray, ctx);
        if (!same_shape(*a, *b) || a->count != b->count) return fail(result, kOsetKey, kOsetShapeDiffers, ctx);
        move_doubles(a->data, b->data, a->count);
        return return_argument(result, args[0]);
    }
    if (a->ndims == 2 && (nargs >= 5 || (nargs == 4 && (is_option(args[1]) || is_option(args[2])))))
        return subs(result, last_index, args, ctx);
    const HostValue& value = args[nargs - 1];
    int64_t pos = 0;
    if (nargs - 2 != a->ndims) return fail(result, kOsetKey, kOpWrongIndexCount, ctx);
    if (!element_position(*a, args + 1, &pos)) return fail(result, kOsetKey, kOsetBadIndex, ctx);
    if (!is_real(value)) return fail(result, kOsetKey, kOsetNotReal, ctx);
    a->data[pos] = value.real();
    return return_argument(result, args[0]);
}

}  // namespace hostmath
