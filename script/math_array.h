// SPDX-License-Identifier: GPL-3.0-or-later
// Conventions shared by every script function and operator that touches
// host values: argument tests, array lookup and creation, results and
// run-error reports. Each script function reads as a list of these checks
// followed by its work.
#pragma once

#include <bit>
#include <cstdint>
#include <span>

#include "host/binding.h"

namespace hostmath {

// ---- argument kinds -------------------------------------------------------

inline bool is_real(const HostValue& v) { return v.base_type == kTypeReal; }
inline bool is_integer(const HostValue& v) { return v.base_type == kTypeInteger; }
inline bool is_logical(const HostValue& v) { return v.base_type == kTypeLogical; }
inline bool is_function(const HostValue& v) { return v.base_type == kTypeFunction; }
inline bool is_empty_value(const HostValue& v) { return v.base_type == kTypeEmpty; }
inline bool is_array_type(const HostValue& v) { return v.base_type == kTypeRealArray; }
inline bool is_option(const HostValue& v) { return v.base_type == kTypeOption; }
inline bool is_option(const HostValue& v, int64_t code) { return is_option(v) && v.integer() == code; }
inline bool is_all_marker(const HostValue& v) { return is_option(v, kOptionAll); }
// An integer argument of at least 1, as every size argument must be.
inline bool is_size(const HostValue& v) { return is_integer(v) && v.integer() >= 1; }
// An integer index inside a dimension of `size` elements: 0 <= i < size.
inline bool is_index_in(const HostValue& v, int64_t size) {
    return is_integer(v) && v.integer() >= 0 && v.integer() < size;
}
// A number that the constructors accept as an element value.
inline bool is_number(const HostValue& v) { return is_integer(v) || is_real(v); }
// The element value of a number: integers are converted, reals copied.
inline double number_value(const HostValue& v) {
    return is_integer(v) ? static_cast<double>(v.integer()) : v.real();
}

// The host's string behind a value, or null when the value is no string.
const HostChar* string_arg(HostValue& v, void* ctx);

// A real argument's value; false for any other kind.
bool read_real(const HostValue& v, double* out);
// A tolerance is a real that is not negative. NaN is refused too: GSL would
// take it and never meet it.
bool read_tolerance(const HostValue& v, double* out);

// ---- script functions -------------------------------------------------------

// A script function as GetFor resolved it: the handle QeCal takes, the
// function's own parameter records, which QeCal reads, and its last
// parameter index (the number of parameters minus one).
struct ResolvedFunction {
    void* handle = nullptr;
    HostValue* params = nullptr;
    int32_t last_param = -1;
};
// Resolves a script-function argument once per call. A value that is not a
// script function is refused before the host is asked, so the host never
// sees a payload word that is not one of its function handles.
bool resolve_function(const HostValue& f, ResolvedFunction* out);

// ---- arrays -------------------------------------------------------------

// The real-array object behind a record, validated by the host (SearchKey
// on payload word 1); null when the host knows no such array or its element
// count or number of dimensions is negative. The record's type words are not
// looked at.
RealArray* lookup_array(const HostValue& v);
// As lookup_array, and also requires base type -252.
RealArray* array_arg(const HostValue& v);

// Overflow-checked products of sizes. Return false instead of wrapping, and
// for negative factors; a factor of 0 makes the product 0 whatever the others.
bool checked_mul(int64_t a, int64_t b, int64_t* out);
bool checked_product(std::span<const int64_t> sizes, int64_t* out);

// A new real array from the host, or null. The dimension sizes and elements
// are the caller's to write. Negative counts are refused.
RealArray* new_array(int64_t count, int64_t ndims);
// A new array of the given shape with its sizes written; null when the host
// refuses or the element count would overflow 64 bits.
RealArray* new_array_shaped(std::span<const int64_t> sizes);
inline RealArray* new_matrix(int64_t rows, int64_t cols) {
    const int64_t sizes[2] = {rows, cols};
    return new_array_shaped(sizes);
}
// A new array with the count, number of dimensions and sizes of `like`.
RealArray* new_array_like(const RealArray& like);

inline std::span<double> elements(RealArray& a) { return {a.data, static_cast<size_t>(a.count)}; }
inline std::span<const int64_t> sizes_of(const RealArray& a) {
    return {a.dims, static_cast<size_t>(a.ndims)};
}
bool same_shape(const RealArray& a, const RealArray& b);
// Whether the sizes account for the element count exactly (true of every
// array the library makes), so that loops driven by the sizes stay inside
// the elements.
bool has_consistent_shape(const RealArray& a);
// Two dimensions of exactly rows x columns that account for all elements.
inline bool is_matrix_of(const RealArray& a, int64_t rows, int64_t cols) {
    return a.ndims == 2 && a.dims[0] == rows && a.dims[1] == cols && has_consistent_shape(a);
}
// The row-major position of the element whose indices are the integer
// records idx[0 .. ndims-1]; false when an index is no integer, lies outside
// its dimension, or the position lies beyond the elements (sizes that claim
// more than the array holds never lead outside it).
bool element_position(const RealArray& a, const HostValue* idx, int64_t* pos);

// ---- results ----------------------------------------------------------------

// payload word 1 null, both type words 0.
HostValue* write_empty(HostValue* result);
// A null array with the math-array type words (the failure result of some operators).
HostValue* write_null_array(HostValue* result);
HostValue* write_real(HostValue* result, double d);
HostValue* write_integer(HostValue* result, int64_t i);
HostValue* write_logical(HostValue* result, bool b);
// The record of a math array: payload the object, extended type the private key.
void tag_array(HostValue* record, RealArray* a);
// Store a new array as the call's result and hand it to the host (FunReObj once).
HostValue* return_new_array(HostValue* result, RealArray* a, void* ctx);
// Return an argument array as it stands: its whole record, extended type included.
HostValue* return_argument(HostValue* result, const HostValue& arg);

// Hand over new arrays kept in records other than the result: call
// begin once before the first, then keep for each record written.
void save_arrays_begin(void* ctx, HostValue* args);
void save_array(void* ctx, HostValue* record, HostValue* args);

// ---- script functions -----------------------------------------------------

// One evaluation of a script function of one parameter at x: x goes into the
// first of `params` as a real and QeCal runs. Returns the value read as a
// double whatever its type; *is_real says whether it was a real. No
// allocation and no lookup: this runs once per evaluation.
inline double evaluate_at(void* handle, HostValue* params, double x, bool* is_real) {
    HostValue& param = params[0];
    param.word1 = std::bit_cast<uint64_t>(x);
    param.ext_type = kTypeReal;
    param.base_type = kTypeReal;
    HostValue buffer;
    const HostValue* returned = host().QeCal(&buffer, handle, params);
    // Only the type and the payload word of the returned record are needed,
    // and they are read before any other host call can reuse it. Reading just
    // these two fields, rather than copying all 32 bytes with wide loads, also
    // avoids stalling on the narrower stores that have just written the record.
    *is_real = returned->base_type == kTypeReal;
    return std::bit_cast<double>(returned->word1);
}

// ---- run errors -----------------------------------------------------------

// SetRunErr(1, key, code, 0, ctx): a failure with the function's own code.
void report(const HostChar* key, int64_t code, void* ctx);
// A report of any kind (-1 passes a GSL status, -2 is a soft stop).
void report_kind(int32_t kind, const HostChar* key, int64_t code, void* ctx);
// Report and return the empty result, the common way out.
HostValue* fail(HostValue* result, const HostChar* key, int64_t code, void* ctx);

inline bool run_error_pending() { return host().TestRunErr() != 0; }

}  // namespace hostmath
