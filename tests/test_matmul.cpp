// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix product of operator "*": every kernel must give, bit for bit,
// what the plain triple loop gives (each sum from 0.0, terms in ascending p,
// a rounded multiplication and a rounded addition each), on shapes that hit
// the edges of every register tile and cache block; and the product of two
// host arrays reports and returns what the operator promises.

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/binding.h"
#include "kernels/matmul.h"
#include "ops/product.h"
#include "tests/support.h"

namespace {

using hostmath::MatmulKernel;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Matrix {
    int64_t rows, cols;
    std::vector<double> v;
};

// The definition of the product, written out as plainly as possible.
std::vector<double> reference_product(const Matrix& a, const Matrix& b) {
    std::vector<double> c(static_cast<size_t>(a.rows * b.cols));
    for (int64_t i = 0; i < a.rows; ++i) {
        for (int64_t j = 0; j < b.cols; ++j) {
            double sum = 0.0;
            for (int64_t p = 0; p < a.cols; ++p) sum = sum + a.v[i * a.cols + p] * b.v[p * b.cols + j];
            c[i * b.cols + j] = sum;
        }
    }
    return c;
}

// Random doubles of mixed sign and of magnitudes from 2^-30 to 2^30, so
// that nearly every sum rounds differently in any other order.
Matrix random_matrix(int64_t rows, int64_t cols, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    Matrix m{rows, cols, std::vector<double>(static_cast<size_t>(rows * cols))};
    for (double& x : m.v) x = std::ldexp((rng() & 1) ? -mantissa(rng) : mantissa(rng), exponent(rng));
    return m;
}

// Equal bits, except that any NaN matches any NaN: which operand's payload
// survives when two NaNs meet is the hardware's choice, not the order's.
bool same_value(double x, double y) { return (std::isnan(x) && std::isnan(y)) || same_bits(x, y); }

// Index of the first element that differs, or -1.
int64_t first_difference(const std::vector<double>& got, const std::vector<double>& want) {
    for (size_t i = 0; i < want.size(); ++i) {
        if (!same_value(got[i], want[i])) return static_cast<int64_t>(i);
    }
    return -1;
}

struct Runner {
    std::string name;
    void (*run)(MatmulKernel, const double*, const double*, double*, int64_t, int64_t, int64_t, int);
    MatmulKernel kernel;
    int threads;
};

void run_unpacked(MatmulKernel, const double* a, const double* b, double* c, int64_t m, int64_t k, int64_t n, int) {
    hostmath::multiply_unpacked(a, b, c, m, k, n);
}

// Every kernel this processor runs, on one thread and split across 2, 3
// and 7 (more threads than tiles on the small shapes), and the path
// without scratch memory.
std::vector<Runner> runners() {
    std::vector<Runner> out{{"unpacked", run_unpacked, MatmulKernel::kBaseline, 1}};
    for (MatmulKernel kernel : hostmath::kAllMatmulKernels) {
        if (!hostmath::kernel_supported(kernel)) continue;
        for (int threads : {1, 2, 3, 7}) {
            out.push_back({std::string(hostmath::kernel_name(kernel)) + " on " + std::to_string(threads) + " threads",
                           hostmath::multiply_with, kernel, threads});
        }
    }
    return out;
}

std::vector<double> product_with(const Runner& r, const Matrix& a, const Matrix& b) {
    // Prefilled with a value no product gives, to catch unwritten elements.
    std::vector<double> c(static_cast<size_t>(a.rows * b.cols), -12345.0);
    r.run(r.kernel, a.v.data(), b.v.data(), c.data(), a.rows, a.cols, b.cols, r.threads);
    return c;
}

struct Shape {
    int64_t m, k, n;
};

// Odd shapes, tile edges (4x4, 6x8 and 6x32 tiles: multiples, one less and
// one more), and sizes past the cache blocks (256 terms, 64 to 128 rows,
// 2048 to 2400 columns) so that sums continue across blocks.
constexpr Shape kShapes[] = {
    {1, 1, 1},     {7, 13, 5},   {129, 257, 3}, {2, 3, 4},    {4, 5, 4},    {6, 9, 8},   {6, 7, 32},
    {3, 11, 7},    {5, 2, 9},    {7, 3, 31},    {9, 4, 33},   {12, 1, 64},  {17, 33, 47}, {24, 40, 96},
    {1, 600, 1},   {13, 513, 29}, {130, 20, 17}, {200, 3, 50}, {3, 300, 2500}, {65, 257, 130},
};

TEST(MatmulKernels, MatchTheTripleLoopBitForBit) {
    uint64_t seed = 1;
    for (const Shape& s : kShapes) {
        const Matrix a = random_matrix(s.m, s.k, seed++);
        const Matrix b = random_matrix(s.k, s.n, seed++);
        const std::vector<double> want = reference_product(a, b);
        for (const Runner& r : runners()) {
            EXPECT_EQ(first_difference(product_with(r, a, b), want), -1)
                << r.name << " on " << s.m << "x" << s.k << " times " << s.k << "x" << s.n;
        }
    }
}

// The data above only proves the order if other orders round differently:
// a fused multiply-add, or the terms summed from the last, must change
// some elements.
TEST(MatmulKernels, TestDataTellsSummationOrdersApart) {
    const Matrix a = random_matrix(7, 13, 1);
    const Matrix b = random_matrix(13, 5, 2);
    const std::vector<double> want = reference_product(a, b);
    int fused_differs = 0, reversed_differs = 0;
    for (int64_t i = 0; i < a.rows; ++i) {
        for (int64_t j = 0; j < b.cols; ++j) {
            double fused = 0.0, reversed = 0.0;
            for (int64_t p = 0; p < a.cols; ++p) fused = std::fma(a.v[i * a.cols + p], b.v[p * b.cols + j], fused);
            for (int64_t p = a.cols - 1; p >= 0; --p) reversed = reversed + a.v[i * a.cols + p] * b.v[p * b.cols + j];
            fused_differs += !same_bits(fused, want[i * b.cols + j]);
            reversed_differs += !same_bits(reversed, want[i * b.cols + j]);
        }
    }
    EXPECT_GT(fused_differs, 0);
    EXPECT_GT(reversed_differs, 0);
}

TEST(MatmulKernels, SignedZerosInfinitiesAndNaNsFollowTheTripleLoop) {
    // Small cases with their values worked out by hand.
    struct Case {
        const char* what;
        Matrix a, b;
        double want;
    };
    const Case cases[] = {
        {"sum of negative zeros starts from +0.0", {1, 2, {-0.0, -0.0}}, {2, 1, {1.0, 1.0}}, 0.0},
        {"negative zero times positive", {1, 1, {-0.0}}, {1, 1, {3.0}}, 0.0},
        {"infinity times zero", {1, 2, {kInf, 1.0}}, {2, 1, {0.0, 1.0}}, kNaN},
        {"infinities of both signs", {1, 2, {kInf, kInf}}, {2, 1, {1.0, -1.0}}, kNaN},
        {"overflowing product", {1, 2, {1e300, 1.0}}, {2, 1, {1e300, -1e308}}, kInf},
        {"NaN term", {1, 3, {1.0, kNaN, 2.0}}, {3, 1, {1.0, 0.0, 1.0}}, kNaN},
        {"infinity then finite", {1, 2, {-kInf, 5.0}}, {2, 1, {2.0, 7.0}}, -kInf},
    };
    for (const Case& c : cases) {
        for (const Runner& r : runners()) {
            EXPECT_TRUE(same_value(product_with(r, c.a, c.b)[0], c.want)) << r.name << ": " << c.what;
        }
    }

    // Special values scattered over shapes that cross the tile edges: each
    // NaN or infinity spoils only its own row or column, as in the loop.
    uint64_t seed = 100;
    const double specials[] = {kNaN, kInf, -kInf, -0.0, 0.0};
    for (const Shape& s : {Shape{9, 30, 25}, Shape{13, 260, 31}}) {
        Matrix a = random_matrix(s.m, s.k, seed++);
        Matrix b = random_matrix(s.k, s.n, seed++);
        std::mt19937_64 rng(seed++);
        for (int t = 0; t < 12; ++t) {
            a.v[rng() % a.v.size()] = specials[rng() % 5];
            b.v[rng() % b.v.size()] = specials[rng() % 5];
        }
        const std::vector<double> want = reference_product(a, b);
        for (const Runner& r : runners()) {
            EXPECT_EQ(first_difference(product_with(r, a, b), want), -1) << r.name << " on " << s.m << "x" << s.k;
        }
    }
}

TEST(MatmulKernels, NoTermsGivePositiveZeros) {
    const Matrix a{3, 0, {}}, b{0, 4, {}};
    for (const Runner& r : runners()) {
        const std::vector<double> c = product_with(r, a, b);
        for (double x : c) EXPECT_TRUE(same_bits(x, 0.0)) << r.name;
    }
}

TEST(MatmulKernels, BestKernelIsSupportedAndTheWidestWhereItPays) {
    const MatmulKernel best = hostmath::best_kernel();
    EXPECT_TRUE(hostmath::kernel_supported(MatmulKernel::kBaseline));
    EXPECT_TRUE(hostmath::kernel_supported(best));
    const hostmath::VectorFeatures& f = hostmath::vector_features();
    const MatmulKernel want = f.avx512f && !f.split_512 ? MatmulKernel::kAvx512
                              : f.avx2                  ? MatmulKernel::kAvx2
                                                        : MatmulKernel::kBaseline;
    EXPECT_EQ(best, want);
}

// ---- processor features -------------------------------------------------------

TEST(MatmulFeatures, DecodingNeedsInstructionsAndOperatingSystemSupport) {
    constexpr uint32_t kIntel = 0x756e6547, kAmd = 0x68747541;  // "Genu", "Auth"
    constexpr uint32_t kSkylakeX = 0x00050654, kZen4 = 0x00A10F11, kZen5 = 0x00B00F20;
    constexpr uint32_t kOsxsaveAvx = (1u << 27) | (1u << 28);
    constexpr uint32_t kBoth = (1u << 5) | (1u << 16), kAvx2 = 1u << 5, kAvx512f = 1u << 16;
    struct Case {
        const char* what;
        hostmath::CpuidWords words;
        bool avx2, avx512f, split_512;
    };
    const Case cases[] = {
        {"everything", {13, kIntel, kSkylakeX, kOsxsaveAvx, kBoth, 0xE7}, true, true, false},
        {"no ZMM state saved", {13, kIntel, kSkylakeX, kOsxsaveAvx, kBoth, 0x07}, true, false, false},
        {"only part of the ZMM state", {13, kIntel, kSkylakeX, kOsxsaveAvx, kBoth, 0x67}, true, false, false},
        {"no YMM state saved", {13, kIntel, kSkylakeX, kOsxsaveAvx, kBoth, 0xE3}, false, false, false},
        {"no OSXSAVE", {13, kIntel, kSkylakeX, 1u << 28, kBoth, 0xE7}, false, false, false},
        {"no AVX", {13, kIntel, kSkylakeX, 1u << 27, kBoth, 0xE7}, false, false, false},
        {"no leaf 7", {6, kIntel, kSkylakeX, kOsxsaveAvx, kBoth, 0xE7}, false, false, false},
        {"AVX2 only", {13, kIntel, kSkylakeX, kOsxsaveAvx, kAvx2, 0xE7}, true, false, false},
        {"AVX-512 without AVX2", {13, kIntel, kSkylakeX, kOsxsaveAvx, kAvx512f, 0xE7}, false, true, false},
        {"AMD family 19h splits 512 bits", {16, kAmd, kZen4, kOsxsaveAvx, kBoth, 0xE7}, true, true, true},
        {"AMD family 1Ah does not", {16, kAmd, kZen5, kOsxsaveAvx, kBoth, 0xE7}, true, true, false},
        {"family 19h without usable AVX-512", {16, kAmd, kZen4, kOsxsaveAvx, kBoth, 0x07}, true, false, false},
    };
    for (const Case& c : cases) {
        const hostmath::VectorFeatures f = hostmath::decode_vector_features(c.words);
        EXPECT_EQ(f.avx2, c.avx2) << c.what;
        EXPECT_EQ(f.avx512f, c.avx512f) << c.what;
        EXPECT_EQ(f.split_512, c.split_512) << c.what;
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The library reads CPUID and XGETBV itself (the same code serves compilers
// without __builtin_cpu_supports); on this processor it must agree with the
// compiler's own runtime check.
TEST(MatmulFeatures, ReadingAgreesWithTheCompilersCheckHere) {
    __builtin_cpu_init();
    EXPECT_EQ(hostmath::kernel_supported(MatmulKernel::kAvx2), __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(hostmath::kernel_supported(MatmulKernel::kAvx512), __builtin_cpu_supports("avx512f") != 0);
}
#endif

// ---- the product of two host arrays ---------------------------------------------

// The test binary holds its own copy of the library's code, whose host table
// the loaded library does not fill. Binding it to the same stand-in host
// lets the product be called directly with host arrays.
class MultiplyMatricesTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        bind_linked_library(key());
    }
    void TearDown() override {
        unbind_linked_library();
        LibraryTest::TearDown();
    }

    // What operator "*" does once both operands are found: the result record
    // starts empty, as the operator leaves it.
    HostValue multiply(const HostValue& a, const HostValue& b) {
        return multiply(*host.object(a), *host.object(b));
    }
    HostValue multiply(const RealArray& a, const RealArray& b) {
        HostValue result = make_empty();
        return *hostmath::multiply_matrices(&result, a, b, host.context());
    }
};

TEST_F(MultiplyMatricesTest, ReturnsTheProductAsANewMathArray) {
    const HostValue a = host.array({2, 3}, {1, 2, 3, 4, 5, 6});
    const HostValue b = host.array({3, 4}, {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1}, -252);
    const int64_t made = host.new_sys_obj_calls();
    const HostValue c = multiply(a, b);
    EXPECT_EQ(c.ext_type, key());
    EXPECT_EQ(c.base_type, kTypeRealArray);
    const hostsim::ArrayContents got = host.read(c);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 4}));
    EXPECT_EQ(got.values, (std::vector<double>{1, 2, 3, 6, 4, 5, 6, 15}));
    EXPECT_EQ(host.new_sys_obj_calls(), made + 1);
    EXPECT_EQ(host.fun_re_obj_calls(), 1);
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(MultiplyMatricesTest, WritesEveryElementBitForBit) {
    host.set_new_array_fill(-12345.0);
    const Matrix am = random_matrix(9, 260, 7), bm = random_matrix(260, 25, 8);
    const HostValue c = multiply(host.array({9, 260}, am.v), host.array({260, 25}, bm.v));
    EXPECT_EQ(first_difference(host.read(c).values, reference_product(am, bm)), -1);
}

TEST_F(MultiplyMatricesTest, NoTermsGiveAZeroMatrix) {
    host.set_new_array_fill(-12345.0);
    const HostValue c = multiply(host.array({2, 0}), host.array({0, 3}));
    const hostsim::ArrayContents got = host.read(c);
    EXPECT_EQ(got.shape, (std::vector<int64_t>{2, 3}));
    for (double x : got.values) EXPECT_TRUE(same_bits(x, 0.0));
}

TEST_F(MultiplyMatricesTest, RefusalsAndSilentEmptyResults) {
    struct Case {
        const char* what;
        std::vector<int64_t> a_shape, b_shape;
        int64_t code;  // 0: empty result without a report
    };
    const Case cases[] = {
        {"inner sizes differ", {2, 3}, {2, 3}, 3},
        {"three dimensions on the right", {2, 3}, {3, 2, 1}, 0},
        {"vector times matrix", {2}, {2, 2}, 0},
        {"matrix times vector", {2, 2}, {2}, 0},
        {"three dimensions on the left", {2, 2, 1}, {2, 2}, 0},
        {"wrong inner sizes with a vector", {3}, {2, 2}, 0},
    };
    for (const Case& c : cases) {
        host.clear_errors();
        const int64_t made = host.new_sys_obj_calls();
        const HostValue result = multiply(host.array(c.a_shape), host.array(c.b_shape));
        EXPECT_TRUE(is_empty_result(result)) << c.what;
        EXPECT_EQ(host.new_sys_obj_calls(), made) << c.what;
        if (c.code == 0) {
            EXPECT_TRUE(host.errors().empty()) << c.what;
        } else {
            EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", c.code}})) << c.what;
        }
    }
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

TEST_F(MultiplyMatricesTest, RefusedCreationIsCodeFour) {
    host.fail_new_sys_obj_at(1);
    const HostValue result = multiply(host.array({2, 3}), host.array({3, 4}));
    EXPECT_TRUE(is_empty_result(result));
    EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", 4}}));
    EXPECT_EQ(host.fun_re_obj_calls(), 0);
}

// m x 0 times 0 x n needs no elements of its operands, but m * n elements
// of result: a count past 64 bits is refused like a refused creation,
// without asking the host for a wrapped-around size.
TEST_F(MultiplyMatricesTest, ResultCountThatOverflowsIsCodeFour) {
    int64_t a_dims[2] = {int64_t{1} << 40, 0};
    int64_t b_dims[2] = {0, int64_t{1} << 40};
    double none = 0.0;
    const RealArray a{&none, 0, a_dims, 2}, b{&none, 0, b_dims, 2};
    const int64_t made = host.new_sys_obj_calls();
    EXPECT_TRUE(is_empty_result(multiply(a, b)));
    EXPECT_EQ(reported(), (std::vector<std::pair<std::string, int64_t>>{{"math *", 4}}));
    EXPECT_EQ(host.new_sys_obj_calls(), made);
}

}  // namespace
