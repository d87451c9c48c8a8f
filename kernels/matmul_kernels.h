// SPDX-License-Identifier: GPL-3.0-or-later
// Internal to the matrix product: the register-tile kernels and the blocking
// that the packing driver (kernels/matmul.cpp) uses for each of them.
//
// A tile kernel computes an mr x nr block of c from packed panels:
//   a_panel: kc groups of mr doubles, a(r, p) at p * mr + r;
//   b_panel: kc groups of nr doubles, b(p, j) at p * nr + j.
// With `accumulate` it continues the sums already stored in c, otherwise it
// starts them from 0.0; either way each element receives its terms in
// ascending p, one multiplication and one addition each, so splitting k into
// consecutive blocks leaves every sum exactly as one pass would build it.
// The subtracting kernel of each plan takes each term away instead, one
// multiplication and one subtraction: the running element of an elimination.
#pragma once

#include <cstdint>

// Function-level instruction-set selection: the library is built for
// baseline x86-64 and picks a kernel at run time. MSVC needs no attribute
// to use any intrinsic.
#if defined(__GNUC__) || defined(__clang__)
#define HOSTMATH_TARGET(isa) __attribute__((target(isa)))
#define HOSTMATH_UNROLL _Pragma("GCC unroll 32")
#else
#define HOSTMATH_TARGET(isa)
#define HOSTMATH_UNROLL
#endif

#if defined(__x86_64__) || defined(_M_X64)
#define HOSTMATH_X86_64 1
#endif

namespace hostmath::matmul_detail {

// Register-tile shapes, rows x columns, of each kernel.
inline constexpr int kBaselineRows = 4, kBaselineCols = 4;
inline constexpr int kAvx2Rows = 6, kAvx2Cols = 8;
inline constexpr int kAvx512Rows = 6, kAvx512Cols = 32;
inline constexpr int kMaxTileElements = kAvx512Rows * kAvx512Cols;
static_assert(kBaselineRows * kBaselineCols <= kMaxTileElements && kAvx2Rows * kAvx2Cols <= kMaxTileElements);

using TileKernel = void (*)(int64_t kc, const double* a_panel, const double* b_panel, double* c, int64_t ldc,
                            bool accumulate);

struct KernelPlan {
    int mr;  // rows of the register tile
    int nr;  // columns of the register tile
    int kc;  // terms per packed block (a b panel of kc x nr stays near the core)
    int mc;  // rows of a per packed block, a multiple of mr
    int nc;  // columns of b per packed block, a multiple of nr
    TileKernel tile;
    TileKernel subtract_tile;  // c - a b, term by term
};

const KernelPlan& baseline_plan();
#if HOSTMATH_X86_64
const KernelPlan& avx2_plan();
const KernelPlan& avx512_plan();
#endif

}  // namespace hostmath::matmul_detail
