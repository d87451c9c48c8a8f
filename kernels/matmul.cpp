// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix product behind operator "*" on two arrays (ops/product.cpp).
//
// The product is computed in the layered way of fast matrix products: b is
// copied in blocks of kc rows x nc columns into panels nr columns wide, a in
// blocks of mc rows x kc columns into panels mr rows high, and a register
// tile kernel (kernels/matmul_*.cpp) builds each mr x nr tile of c from one panel
// of each. The copies change only where the operands are read from. Every
// element still receives its terms one by one in ascending p: the kernel
// starts the first block of terms from 0.0 and continues later blocks from
// the partial sums that the earlier ones stored in c.
#include "kernels/matmul.h"

#include <algorithm>
#include <optional>
#include <cstdint>

#include "kernels/matmul_kernels.h"
#include "kernels/parallel.h"
#include "kernels/scratch.h"

#if HOSTMATH_X86_64
#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace hostmath {
namespace {

using matmul_detail::KernelPlan;
using matmul_detail::TileKernel;

// ---- processor features -------------------------------------------------------

#if HOSTMATH_X86_64
#if defined(_MSC_VER)
void cpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    int r[4];
    __cpuidex(r, static_cast<int>(leaf), static_cast<int>(subleaf));
    for (int i = 0; i < 4; ++i) regs[i] = static_cast<uint32_t>(r[i]);
}
uint64_t xgetbv0() { return _xgetbv(0); }
#else
void cpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    __cpuid_count(leaf, subleaf, regs[0], regs[1], regs[2], regs[3]);
}
HOSTMATH_TARGET("xsave") uint64_t xgetbv0() { return _xgetbv(0); }
#endif

CpuidWords read_cpuid_words() {
    constexpr uint32_t kOsxsave = 1u << 27;
    CpuidWords words{};
    uint32_t regs[4];
    cpuid(0, 0, regs);
    words.max_leaf = regs[0];
    words.vendor_ebx = regs[1];
    if (words.max_leaf >= 1) {
        cpuid(1, 0, regs);
        words.leaf1_eax = regs[0];
        words.leaf1_ecx = regs[2];
    }
    if (words.max_leaf >= 7) {
        cpuid(7, 0, regs);
        words.leaf7_ebx = regs[1];
    }
    // XGETBV faults unless the operating system has enabled it (OSXSAVE).
    if (words.leaf1_ecx & kOsxsave) words.xcr0 = xgetbv0();
    return words;
}
#endif

const KernelPlan& plan_of(MatmulKernel kernel) {
#if HOSTMATH_X86_64
    switch (kernel) {
        case MatmulKernel::kAvx512: return matmul_detail::avx512_plan();
        case MatmulKernel::kAvx2: return matmul_detail::avx2_plan();
        case MatmulKernel::kBaseline: break;
    }
#else
    (void)kernel;
#endif
    return matmul_detail::baseline_plan();
}

// ---- packing ------------------------------------------------------------------

int64_t round_up(int64_t x, int64_t step) { return (x + step - 1) / step * step; }

constexpr uintptr_t kAlignBytes = 64;
constexpr int64_t kLineDoubles = kAlignBytes / sizeof(double);

// A block of min(extent, block) rows (or columns) in whole tiles of `tile`,
// kc deep, rounded up to whole cache lines.
int64_t panel_doubles(int64_t extent, int64_t block, int64_t tile, int64_t kc) {
    return round_up(round_up(std::min(extent, block), tile) * kc, kLineDoubles);
}

// Rows [0, rows) x columns [0, kc) of a (row stride lda) as panels of mr
// rows, each p-major; rows past the end are filled with zeros.
void pack_a(const double* a, int64_t lda, int64_t rows, int64_t kc, int mr, double* out) {
    for (int64_t i0 = 0; i0 < rows; i0 += mr, out += mr * kc) {
        for (int r = 0; r < mr; ++r) {
            if (i0 + r < rows) {
                const double* src = a + (i0 + r) * lda;
                for (int64_t p = 0; p < kc; ++p) out[p * mr + r] = src[p];
            } else {
                for (int64_t p = 0; p < kc; ++p) out[p * mr + r] = 0.0;
            }
        }
    }
}

// Rows [0, kc) x columns [0, cols) of b (row stride ldb) as panels of nr
// columns, each p-major; columns past the end are filled with zeros.
void pack_b(const double* b, int64_t ldb, int64_t kc, int64_t cols, int nr, double* out) {
    for (int64_t j0 = 0; j0 < cols; j0 += nr) {
        const int64_t width = std::min<int64_t>(nr, cols - j0);
        for (int64_t p = 0; p < kc; ++p, out += nr) {
            const double* src = b + p * ldb + j0;
            std::copy(src, src + width, out);
            std::fill(out + width, out + nr, 0.0);
        }
    }
}

// ---- the blocked product --------------------------------------------------------

// A tile at the bottom or right edge of c: the kernel works on a full tile
// in a local buffer, and only the part inside c is read and written.
void edge_tile(const KernelPlan& plan, TileKernel tile, int64_t kc, const double* ap, const double* bp, double* c,
               int64_t ldc, int64_t rows, int64_t cols, bool accumulate) {
    double buffer[matmul_detail::kMaxTileElements];
    if (accumulate) {
        for (int64_t r = 0; r < rows; ++r) std::copy(c + r * ldc, c + r * ldc + cols, buffer + r * plan.nr);
    }
    tile(kc, ap, bp, buffer, plan.nr, accumulate);
    for (int64_t r = 0; r < rows; ++r) std::copy(buffer + r * plan.nr, buffer + r * plan.nr + cols, c + r * ldc);
}

// The operands of one block of a product: c (m x n, row stride ldc) and
// a (m x k, row stride lda) times b (k x n, row stride ldb). A thread's
// share of a product is such a block: some rows of a and c, or some columns
// of b and c.
struct Block {
    const double* a;
    const double* b;
    double* c;
    int64_t m, k, n;
    int64_t lda, ldb, ldc;
};

// What the tiles do with c: the product starts each element from 0.0 and
// adds its terms; an elimination's update takes its terms away from the
// element as it stands.
enum class Update { kProduct, kSubtract };

// The block with packed panels; k >= 1. The loops over k blocks run in
// ascending order, which is what keeps each element's terms in ascending p.
void multiply_packed(const KernelPlan& plan, Update update, const Block& blk, double* a_pack, double* b_pack) {
    const auto [a, b, c, m, k, n, lda, ldb, ldc] = blk;
    const TileKernel tile = update == Update::kProduct ? plan.tile : plan.subtract_tile;
    for (int64_t jc = 0; jc < n; jc += plan.nc) {
        const int64_t nc = std::min<int64_t>(plan.nc, n - jc);
        for (int64_t pc = 0; pc < k; pc += plan.kc) {
            const int64_t kc = std::min<int64_t>(plan.kc, k - pc);
            const bool accumulate = pc > 0 || update == Update::kSubtract;
            pack_b(b + pc * ldb + jc, ldb, kc, nc, plan.nr, b_pack);
            for (int64_t ic = 0; ic < m; ic += plan.mc) {
                const int64_t mc = std::min<int64_t>(plan.mc, m - ic);
                pack_a(a + ic * lda + pc, lda, mc, kc, plan.mr, a_pack);
                for (int64_t jr = 0; jr < nc; jr += plan.nr) {
                    const double* bp = b_pack + jr * kc;
                    const int64_t cols = std::min<int64_t>(plan.nr, nc - jr);
                    for (int64_t ir = 0; ir < mc; ir += plan.mr) {
                        const double* ap = a_pack + ir * kc;
                        const int64_t rows = std::min<int64_t>(plan.mr, mc - ir);
                        double* ct = c + (ic + ir) * ldc + jc + jr;
                        if (rows == plan.mr && cols == plan.nr) {
                            tile(kc, ap, bp, ct, ldc, accumulate);
                        } else {
                            edge_tile(plan, tile, kc, ap, bp, ct, ldc, rows, cols, accumulate);
                        }
                    }
                }
            }
        }
    }
}

// The block without scratch memory: row by row of c, each row built up
// across its columns, term p after term p - 1.
void unpacked_block(Update update, const Block& blk) {
    const auto [a, b, c, m, k, n, lda, ldb, ldc] = blk;
    for (int64_t i = 0; i < m; ++i) {
        double* ci = c + i * ldc;
        const double* ai = a + i * lda;
        if (update == Update::kProduct) std::fill(ci, ci + n, 0.0);
        for (int64_t p = 0; p < k; ++p) {
            const double aip = ai[p];
            const double* bp = b + p * ldb;
            if (update == Update::kProduct) {
                for (int64_t j = 0; j < n; ++j) ci[j] = ci[j] + aip * bp[j];
            } else {
                for (int64_t j = 0; j < n; ++j) ci[j] = ci[j] - aip * bp[j];
            }
        }
    }
}

// One block in the panels of thread `part`, or without scratch if there is none.
void multiply_block(const KernelPlan& plan, Update update, const Block& blk, ProductPanels& panels, int part) {
    if (!panels.ok()) {
        unpacked_block(update, blk);
        return;
    }
    multiply_packed(plan, update, blk, panels.a_panels(part), panels.b_panels(part));
}

// The whole block on up to `threads` threads. The rows of c are split in
// whole register tiles, or its columns, whichever leaves the busiest thread
// the fewest elements; each thread packs into its own panels, allocated
// here before any worker starts. Every element is computed by the same
// kernel steps either way, so the split never changes a bit.
void multiply_split(MatmulKernel kernel, Update update, const Block& blk, int threads,
                    parallel::Team* given_team = nullptr) {
    const KernelPlan& plan = plan_of(kernel);
    if (given_team != nullptr) threads = given_team->size();
    if (threads <= 1) {
        ProductPanels panels(kernel, blk.m, blk.k, blk.n, 1);
        multiply_block(plan, update, blk, panels, 0);
        return;
    }
    const int64_t row_units = (blk.m + plan.mr - 1) / plan.mr, col_units = (blk.n + plan.nr - 1) / plan.nr;
    threads = static_cast<int>(std::min<int64_t>(threads, std::max(row_units, col_units)));
    const int64_t busiest_by_rows = (row_units + threads - 1) / threads * plan.mr * blk.n;
    const int64_t busiest_by_cols = (col_units + threads - 1) / threads * plan.nr * blk.m;
    ProductPanels panels(kernel, blk.m, blk.k, blk.n, threads);
    std::optional<parallel::Team> own_team;
    parallel::Team& team = given_team != nullptr ? *given_team : own_team.emplace(threads);
    if (busiest_by_rows <= busiest_by_cols) {
        team.for_numbered_ranges(0, blk.m, plan.mr, [&](int part, int64_t lo, int64_t hi) {
            Block rows = blk;
            rows.a += lo * blk.lda;
            rows.c += lo * blk.ldc;
            rows.m = hi - lo;
            multiply_block(plan, update, rows, panels, part);
        });
    } else {
        team.for_numbered_ranges(0, blk.n, plan.nr, [&](int part, int64_t lo, int64_t hi) {
            Block cols = blk;
            cols.b += lo;
            cols.c += lo;
            cols.n = hi - lo;
            multiply_block(plan, update, cols, panels, part);
        });
    }
}

// A kernel this processor cannot run would fault; the baseline one can.
MatmulKernel runnable(MatmulKernel kernel) { return kernel_supported(kernel) ? kernel : MatmulKernel::kBaseline; }

}  // namespace

// ---- kernels --------------------------------------------------------------------

VectorFeatures decode_vector_features(const CpuidWords& words) {
    constexpr uint32_t kAuthenticAmd = 0x68747541;             // "Auth"
    constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;  // leaf 1, ECX
    constexpr uint32_t kAvx2 = 1u << 5, kAvx512f = 1u << 16;  // leaf 7, EBX
    constexpr uint64_t kXmmYmm = 0x06;                         // SSE and AVX register state
    constexpr uint64_t kZmm = 0xE0;                            // opmask, ZMM0-15 upper halves, ZMM16-31
    VectorFeatures features{false, false, false};
    if (words.max_leaf < 7) return features;
    if ((words.leaf1_ecx & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return features;
    if ((words.xcr0 & kXmmYmm) != kXmmYmm) return features;
    features.avx2 = (words.leaf7_ebx & kAvx2) != 0;
    features.avx512f = (words.leaf7_ebx & kAvx512f) != 0 && (words.xcr0 & (kXmmYmm | kZmm)) == (kXmmYmm | kZmm);
    const uint32_t base_family = (words.leaf1_eax >> 8) & 0xF;
    const uint32_t family = base_family == 0xF ? base_family + ((words.leaf1_eax >> 20) & 0xFF) : base_family;
    features.split_512 = features.avx512f && words.vendor_ebx == kAuthenticAmd && family == 0x19;
    return features;
}

const VectorFeatures& vector_features() {
#if HOSTMATH_X86_64
    static const VectorFeatures features = decode_vector_features(read_cpuid_words());
#else
    static const VectorFeatures features{false, false, false};
#endif
    return features;
}

const char* kernel_name(MatmulKernel kernel) {
    switch (kernel) {
        case MatmulKernel::kBaseline: return "baseline";
        case MatmulKernel::kAvx2: return "avx2";
        case MatmulKernel::kAvx512: return "avx512";
    }
    return "unknown";
}

bool kernel_supported(MatmulKernel kernel) {
    const VectorFeatures& features = vector_features();
    switch (kernel) {
        case MatmulKernel::kBaseline: return true;
        case MatmulKernel::kAvx2: return features.avx2;
        case MatmulKernel::kAvx512: return features.avx512f;
    }
    return false;
}

MatmulKernel best_kernel() {
    if (kernel_supported(MatmulKernel::kAvx512) && !vector_features().split_512) return MatmulKernel::kAvx512;
    if (kernel_supported(MatmulKernel::kAvx2)) return MatmulKernel::kAvx2;
    return MatmulKernel::kBaseline;
}

void multiply_unpacked(const double* a, const double* b, double* c, int64_t m, int64_t k, int64_t n) {
    unpacked_block(Update::kProduct, Block{a, b, c, m, k, n, k, n, n});
}

void multiply_with(MatmulKernel kernel, const double* a, const double* b, double* c, int64_t m, int64_t k,
                   int64_t n, int threads) {
    if (m <= 0 || n <= 0) return;
    if (k <= 0) {
        std::fill(c, c + m * n, 0.0);  // empty sums
        return;
    }
    multiply_split(runnable(kernel), Update::kProduct, Block{a, b, c, m, k, n, k, n, n}, threads);
}

void multiply_subtract_with(MatmulKernel kernel, const double* a, int64_t lda, const double* b, int64_t ldb,
                            double* c, int64_t ldc, int64_t m, int64_t k, int64_t n, int threads) {
    if (m <= 0 || n <= 0 || k <= 0) return;
    multiply_split(runnable(kernel), Update::kSubtract, Block{a, b, c, m, k, n, lda, ldb, ldc}, threads);
}

void multiply_subtract_on(parallel::Team& team, MatmulKernel kernel, const double* a, int64_t lda, const double* b,
                          int64_t ldb, double* c, int64_t ldc, int64_t m, int64_t k, int64_t n) {
    if (m <= 0 || n <= 0 || k <= 0) return;
    multiply_split(runnable(kernel), Update::kSubtract, Block{a, b, c, m, k, n, lda, ldb, ldc}, 1, &team);
}

// ---- packing room kept by the caller ------------------------------------------

ProductPanels::ProductPanels(MatmulKernel kernel, int64_t rows, int64_t k, int64_t cols, int parts)
    : kernel_(runnable(kernel)) {
    const KernelPlan& plan = plan_of(kernel_);
    a_doubles_ = panel_doubles(rows, plan.mc, plan.mr, std::min<int64_t>(k, plan.kc));
    b_doubles_ = panel_doubles(cols, plan.nc, plan.nr, std::min<int64_t>(k, plan.kc));
    raw_ = Scratch<double>((a_doubles_ + b_doubles_) * parts + kLineDoubles);
    if (!raw_.ok()) return;
    const auto address = reinterpret_cast<uintptr_t>(raw_.get());
    const uintptr_t aligned = (address + kAlignBytes - 1) / kAlignBytes * kAlignBytes;
    data_ = raw_.get() + (aligned - address) / sizeof(double);
}

void multiply_subtract_in(ProductPanels& panels, int part, const double* a, int64_t lda, const double* b, int64_t ldb,
                          double* c, int64_t ldc, int64_t m, int64_t k, int64_t n) {
    if (m <= 0 || n <= 0 || k <= 0) return;
    multiply_block(plan_of(panels.kernel()), Update::kSubtract, Block{a, b, c, m, k, n, lda, ldb, ldc}, panels, part);
}

}  // namespace hostmath
