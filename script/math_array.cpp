// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/math_array.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace hostmath {

const HostChar* string_arg(HostValue& v, void* ctx) {
    int64_t length = 0;
    return host().GetStr(&v, ctx, &length);
}

bool read_real(const HostValue& v, double* out) {
    if (!is_real(v)) return false;
    *out = v.real();
    return true;
}

bool read_tolerance(const HostValue& v, double* out) {
    if (!is_real(v) || !(v.real() >= 0.0)) return false;
    *out = v.real();
    return true;
}

bool resolve_function(const HostValue& f, ResolvedFunction* out) {
    if (!is_function(f)) return false;
    void* unused = nullptr;
    return host().GetFor(nullptr, 0, static_cast<int64_t>(f.word1), &unused, &out->handle, &out->params,
                         &out->last_param) != 0;
}

RealArray* lookup_array(const HostValue& v) {
    auto* a = static_cast<RealArray*>(host().SearchKey(&v.word1, 8, kKeyRealArray));
    // A negative count or number of dimensions would turn into a huge size
    // wherever it meets a size_t: such an array is no array at all.
    if (a == nullptr || a->count < 0 || a->ndims < 0) return nullptr;
    return a;
}

RealArray* array_arg(const HostValue& v) {
    if (!is_array_type(v)) return nullptr;
    return lookup_array(v);
}

bool checked_mul(int64_t a, int64_t b, int64_t* out) {
    // Sizes are never negative here; the division test needs no compiler builtin.
    if (a < 0 || b < 0) return false;
    if (a != 0 && b > std::numeric_limits<int64_t>::max() / a) return false;
    *out = a * b;
    return true;
}

bool checked_product(std::span<const int64_t> sizes, int64_t* out) {
    // A size of 0 makes the product 0, however large the others are.
    if (std::any_of(sizes.begin(), sizes.end(), [](int64_t s) { return s < 0; })) return false;
    if (std::find(sizes.begin(), sizes.end(), 0) != sizes.end()) {
        *out = 0;
        return true;
    }
    int64_t p = 1;
    for (int64_t s : sizes) {
        if (!checked_mul(p, s, &p)) return false;
    }
    *out = p;
    return true;
}

RealArray* new_array(int64_t count, int64_t ndims) {
    if (count < 0 || ndims < 0) return nullptr;
    return host().NewSysObj(kTypeRealArray, count, ndims);
}

RealArray* new_array_shaped(std::span<const int64_t> sizes) {
    int64_t count = 0;
    if (!checked_product(sizes, &count)) return nullptr;
    RealArray* a = new_array(count, static_cast<int64_t>(sizes.size()));
    if (a == nullptr) return nullptr;
    for (size_t k = 0; k < sizes.size(); ++k) a->dims[k] = sizes[k];
    return a;
}

RealArray* new_array_like(const RealArray& like) {
    RealArray* a = new_array(like.count, like.ndims);
    if (a == nullptr) return nullptr;
    if (like.ndims > 0) std::memcpy(a->dims, like.dims, static_cast<size_t>(like.ndims) * sizeof(int64_t));
    return a;
}

bool same_shape(const RealArray& a, const RealArray& b) {
    if (a.ndims != b.ndims) return false;
    for (int64_t k = 0; k < a.ndims; ++k) {
        if (a.dims[k] != b.dims[k]) return false;
    }
    return true;
}

bool has_consistent_shape(const RealArray& a) {
    int64_t count = 0;
    return checked_product(sizes_of(a), &count) && count == a.count;
}

bool element_position(const RealArray& a, const HostValue* idx, int64_t* pos) {
    int64_t p = 0;
    for (int64_t k = 0; k < a.ndims; ++k) {
        if (!is_index_in(idx[k], a.dims[k])) return false;
        const int64_t e = idx[k].integer();
        int64_t scaled = 0;
        // Every later factor is at least 1, so a partial position at or
        // beyond the element count can only grow.
        if (!checked_mul(p, a.dims[k], &scaled) || scaled >= a.count - e) return false;
        p = scaled + e;
    }
    if (p >= a.count) return false;
    *pos = p;
    return true;
}

HostValue* write_empty(HostValue* result) {
    result->word1 = 0;
    result->ext_type = 0;
    result->base_type = 0;
    return result;
}

HostValue* write_null_array(HostValue* result) {
    result->word1 = 0;
    result->ext_type = private_key();
    result->base_type = kTypeRealArray;
    return result;
}

HostValue* write_real(HostValue* result, double d) {
    *result = make_real(d);
    return result;
}

HostValue* write_integer(HostValue* result, int64_t i) {
    *result = make_integer(i);
    return result;
}

HostValue* write_logical(HostValue* result, bool b) {
    *result = make_logical(b);
    return result;
}

void tag_array(HostValue* record, RealArray* a) {
    *record = make_array_value(a, private_key());
}

HostValue* return_new_array(HostValue* result, RealArray* a, void* ctx) {
    tag_array(result, a);
    host().FunReObj(ctx);
    return result;
}

HostValue* return_argument(HostValue* result, const HostValue& arg) {
    *result = arg;
    return result;
}

void save_arrays_begin(void* ctx, HostValue* args) { host().FunSaveObj(ctx, nullptr, args); }

void save_array(void* ctx, HostValue* record, HostValue* args) { host().FunSaveObj(ctx, record, args); }

void report(const HostChar* key, int64_t code, void* ctx) { report_kind(1, key, code, ctx); }

void report_kind(int32_t kind, const HostChar* key, int64_t code, void* ctx) {
    host().SetRunErr(kind, key, code, 0, ctx);
}

HostValue* fail(HostValue* result, const HostChar* key, int64_t code, void* ctx) {
    write_empty(result);
    report(key, code, ctx);
    return result;
}

}  // namespace hostmath
