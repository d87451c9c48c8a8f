// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix product behind operator "*" on two arrays.
//
// Every element of a product is defined by one summation order: c(i, j)
// starts from 0.0 and adds a(i, p) * b(p, j) for p = 0, 1, ..., k - 1, one
// rounded multiplication and one rounded addition per term. All kernels below
// keep that order exactly; they differ only in how many independent elements
// they compute at once, so their results are bit-identical to the plain
// triple loop.
#pragma once

#include <cstdint>

#include "kernels/scratch.h"

namespace hostmath {

namespace parallel {
class Team;
}

// A thread joins the product only for at least this many multiply-adds of
// its own (docs/performance.md, "Threads", has the measurements behind it).
inline constexpr int64_t kMultiplyAddsPerThread = int64_t{1} << 21;

// ---- kernels ------------------------------------------------------------------
// The product of row-major matrices a (m x k) and b (k x n) into c (m x n),
// which is written in full (every element, also when k is 0).

// The vector kernels, from the one every x86-64 processor runs to the widest.
enum class MatmulKernel {
    kBaseline,  // SSE2 (plain scalar code off x86-64)
    kAvx2,
    kAvx512,
};
inline constexpr MatmulKernel kAllMatmulKernels[] = {MatmulKernel::kBaseline, MatmulKernel::kAvx2,
                                                     MatmulKernel::kAvx512};

const char* kernel_name(MatmulKernel kernel);
// Whether this processor, and the operating system, can run the kernel.
bool kernel_supported(MatmulKernel kernel);
// The kernel of operator "*" (ops/product.cpp): the widest one supported,
// except that AVX2 goes before AVX-512 where 512-bit operations are split.
MatmulKernel best_kernel();

// The product with a chosen kernel, which must be supported, on up to
// `threads` threads (each computes a band of rows or of columns of c).
// Packs its operands into scratch panels; where the scratch cannot be
// allocated it computes that part as multiply_unpacked does. The result is
// the same bit for bit whatever the kernel and the thread count.
void multiply_with(MatmulKernel kernel, const double* a, const double* b, double* c, int64_t m, int64_t k,
                   int64_t n, int threads = 1);
// c - a b into c, for an elimination's update: every element takes its k
// terms away one at a time in ascending p, c(i, j) = (...(c(i, j) - a(i, 0)
// b(0, j)) - ...) - a(i, k-1) b(k-1, j), each product and each difference
// rounded. a is m x k, b k x n and c m x n, row-major with row strides lda,
// ldb and ldc. The same bit for bit whatever the kernel and thread count.
void multiply_subtract_with(MatmulKernel kernel, const double* a, int64_t lda, const double* b, int64_t ldb,
                            double* c, int64_t ldc, int64_t m, int64_t k, int64_t n, int threads = 1);
// The same on a team the caller keeps for many such updates (its threads
// start once, not once per update).
void multiply_subtract_on(parallel::Team& team, MatmulKernel kernel, const double* a, int64_t lda, const double* b,
                          int64_t ldb, double* c, int64_t ldc, int64_t m, int64_t k, int64_t n);

// Room to pack the operands of products of up to rows x k by k x cols with
// `kernel` (the baseline one where it is not supported), for `parts`
// threads, each in a part of its own. The calling thread makes it before
// any worker starts: workers never allocate (in the fault-injection build an
// allocation asks the host). Where it could not be had, ok() is false and
// the products run without packing, to the same bits.
class ProductPanels {
public:
    ProductPanels(MatmulKernel kernel, int64_t rows, int64_t k, int64_t cols, int parts);
    bool ok() const { return data_ != nullptr; }
    MatmulKernel kernel() const { return kernel_; }
    double* a_panels(int part) { return data_ + part * (a_doubles_ + b_doubles_); }
    double* b_panels(int part) { return a_panels(part) + a_doubles_; }

private:
    MatmulKernel kernel_;
    int64_t a_doubles_ = 0;
    int64_t b_doubles_ = 0;
    Scratch<double> raw_;
    double* data_ = nullptr;
};
// c - a b into c as multiply_subtract_with computes it, on the calling
// thread, packing in part `part` of `panels` with their kernel; the block
// must fit the sizes the panels were made for.
void multiply_subtract_in(ProductPanels& panels, int part, const double* a, int64_t lda, const double* b, int64_t ldb,
                          double* c, int64_t ldc, int64_t m, int64_t k, int64_t n);
// The product without scratch memory: row by row, each row of c built up
// across its columns, term p after term p - 1.
void multiply_unpacked(const double* a, const double* b, double* c, int64_t m, int64_t k, int64_t n);

// ---- processor features -----------------------------------------------------------
// What the kernel choice needs, decoded from raw CPUID and XGETBV words: an
// instruction set counts only if the operating system also saves the
// registers it uses.
struct CpuidWords {
    uint32_t max_leaf;    // leaf 0, EAX
    uint32_t vendor_ebx;  // leaf 0, EBX: the first four characters of the vendor name
    uint32_t leaf1_eax;   // leaf 1, EAX: family and model
    uint32_t leaf1_ecx;   // leaf 1, ECX: AVX, OSXSAVE
    uint32_t leaf7_ebx;   // leaf 7 subleaf 0, EBX: AVX2, AVX512F; 0 when max_leaf < 7
    uint64_t xcr0;        // XGETBV(0); 0 when OSXSAVE is clear
};
struct VectorFeatures {
    bool avx2;
    bool avx512f;
    // 512-bit operations run as two 256-bit halves (AMD family 19h, the
    // first of its processors with AVX-512): the AVX2 kernel is faster there.
    bool split_512;
};
VectorFeatures decode_vector_features(const CpuidWords& words);
// The same for this processor, read once.
const VectorFeatures& vector_features();

}  // namespace hostmath
