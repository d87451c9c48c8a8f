// SPDX-License-Identifier: GPL-3.0-or-later
// Internal to the matrix inversion: the span kernels of the elimination, one
// set per instruction set (kernels/inverse*.cpp).
#pragma once

#include <cstdint>

#include "kernels/matmul.h"
#include "kernels/matmul_kernels.h"

namespace hostmath::inverse_detail {

// x[j] = x[j] - r[j] * m for j in [0, len): one rounded multiplication and
// one rounded subtraction per element, the form of every elimination update.
using SpanUpdate = void (*)(double* x, const double* r, int64_t len, double m);
// The same, returning the largest magnitude among the new values (NaN never
// counting), or 0.0 when there is none larger.
using SpanUpdateMax = double (*)(double* x, const double* r, int64_t len, double m);

// Four updates in a row on [from, to): x[j] = x[j] - r[0][j] * m[0], then
// the same with r[1] and m[1], and so on, each element loaded and stored once.
using SpanUpdate4 = void (*)(double* x, const double* const r[4], const double m[4], int64_t from, int64_t to);

struct SpanKernels {
    SpanUpdate update;
    SpanUpdateMax update_max;
    SpanUpdate4 update4;
};

const SpanKernels& baseline_spans();
// The span kernels of the instruction set a product kernel uses.
const SpanKernels& spans_of(MatmulKernel kernel);
#if HOSTMATH_X86_64
const SpanKernels& avx2_spans();
const SpanKernels& avx512_spans();
#endif

}  // namespace hostmath::inverse_detail
