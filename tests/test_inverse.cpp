// SPDX-License-Identifier: GPL-3.0-or-later
// math::inv through the stand-in host, and the fast elimination against the
// plain one, bit for bit.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/inverse.h"
#include "tests/support.h"

namespace {

using hostmath::MatmulKernel;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kTwoToMinus52 = std::ldexp(1.0, -52);
const double kTwoToMinus53 = std::ldexp(1.0, -53);

using InverseTest = LibraryTest;

// ---- documented results ------------------------------------------------------------

struct Exact {
    const char* what;
    std::vector<int64_t> shape;
    std::vector<double> input;
    std::vector<double> inverse;  // bit for bit, signed zeros included
};

const Exact kExact[] = {
    {"first pivot 7 at row 0, column 1", {2, 2}, {4, 7, 2, 6}, {0.6, -0.7000000000000001, -0.19999999999999996, 0.4}},
    {"diagonal: -0.0 off it", {2, 2}, {2, 0, 0, 4}, {0.5, -0.0, -0.0, 0.25}},
    {"anti-diagonal", {2, 2}, {0, 2, 4, 0}, {-0.0, 0.25, 0.5, -0.0}},
    {"2^-52 is not negligible", {1, 1}, {kTwoToMinus52}, {std::ldexp(1.0, 52)}},
    {"no elements", {0, 0}, {}, {}},
};

TEST_F(InverseTest, DocumentedResultsBitForBit) {
    for (const Exact& c : kExact) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        const int64_t re_objs = host.fun_re_obj_calls();
        HostValue a = host.array(c.shape, c.input);
        const HostValue r = host.call("math::inv", {a});
        EXPECT_TRUE(host.errors().empty());
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(r.base_type, kTypeRealArray);
        EXPECT_NE(r.word1, a.word1);
        EXPECT_EQ(host.fun_re_obj_calls(), re_objs + 1);
        const auto got = host.read(r);
        EXPECT_EQ(got.shape, c.shape);
        ASSERT_EQ(got.values.size(), c.inverse.size());
        for (size_t t = 0; t < c.inverse.size(); ++t) EXPECT_TRUE(same_bits(got.values[t], c.inverse[t])) << t;
        EXPECT_EQ(host.read(a).values, c.input);  // the argument is left as it was
    }
}

TEST_F(InverseTest, PlainHostRealArraysAreAccepted) {
    const HostValue r = host.call("math::inv", {host.array({2, 2}, {4, 7, 2, 6}, kTypeRealArray)});
    EXPECT_EQ(r.ext_type, key());
    EXPECT_EQ(host.read(r).values[3], 0.4);
}

// ---- failures --------------------------------------------------------------------------

struct Refusal {
    const char* what;
    int64_t code;
    bool result_is_new_array;  // else the null array record
    HostValue (*argument)(hostsim::Host&);
    bool fail_creation = false;
};

const Refusal kRefusals[] = {
    {"a real", 1, false, [](hostsim::Host&) { return make_real(1.0); }},
    {"an array the host does not know", 1, false,
     [](hostsim::Host&) { return make_array_value(nullptr, kTypeRealArray); }},
    {"2 x 3", 2, false, [](hostsim::Host& h) { return h.array({2, 3}, {1, 2, 3, 4, 5, 6}); }},
    {"one dimension", 2, false, [](hostsim::Host& h) { return h.array({4}, {1, 2, 3, 4}); }},
    {"three dimensions", 2, false, [](hostsim::Host& h) { return h.array({1, 1, 1}, {1}); }},
    {"3 x 3 claimed over 4 elements", 2, false,
     [](hostsim::Host& h) {
         HostValue a = h.array({2, 2}, {1, 0, 0, 1});
         h.object(a)->dims[0] = h.object(a)->dims[1] = 3;
         return a;
     }},
    {"the host cannot create the result", 3, false, [](hostsim::Host& h) { return h.array({2, 2}, {4, 7, 2, 6}); },
     true},
    {"rows 1 2 and 2 4", 4, true, [](hostsim::Host& h) { return h.array({2, 2}, {1, 2, 2, 4}); }},
    {"2^-53 is negligible", 4, true, [](hostsim::Host& h) { return h.array({1, 1}, {kTwoToMinus53}); }},
    {"zeros", 4, true, [](hostsim::Host& h) { return h.array({3, 3}); }},
    {"only NaN: never a pivot", 4, true, [](hostsim::Host& h) { return h.array({2, 2}, {kNaN, kNaN, kNaN, kNaN}); }},
};

TEST_F(InverseTest, RefusalsReportTheirCodeAndReturnTheStatedRecord) {
    for (const Refusal& c : kRefusals) {
        SCOPED_TRACE(c.what);
        HostValue a = c.argument(host);
        host.clear_errors();
        if (c.fail_creation) host.fail_new_sys_obj_at(1);
        const HostValue r = host.call("math::inv", {a});
        host.fail_new_sys_obj_at(0);
        EXPECT_EQ(reported(), (decltype(reported()){{"math::inv", c.code}}));
        EXPECT_EQ(r.ext_type, key());
        EXPECT_EQ(r.base_type, kTypeRealArray);
        if (c.result_is_new_array) {
            EXPECT_NE(host.object(r), nullptr);
            EXPECT_NE(r.word1, a.word1);
        } else {
            EXPECT_EQ(r.word1, 0u);
        }
    }
}

// A singular matrix leaves the values of the last completed step: here one
// step with pivot 4 at (1, 1), after which all that remains is 0.
TEST_F(InverseTest, SingularResultHoldsThePartlyEliminatedValues) {
    const HostValue r = host.call("math::inv", {host.array({2, 2}, {1, 2, 2, 4})});
    const auto got = host.read(r);
    const std::vector<double> expected = {0.25, 0.5, -0.5, 0.0};
    ASSERT_EQ(got.values.size(), 4u);
    for (size_t t = 0; t < 4; ++t) EXPECT_TRUE(same_bits(got.values[t], expected[t])) << t;
}

// ---- random matrices ----------------------------------------------------------------------


TEST_F(InverseTest, RandomMatrixTimesItsInverseIsNearTheIdentity) {
    for (int64_t n : {1, 3, 10, 37}) {
        SCOPED_TRACE(n);
        const std::vector<double> a = random_values(n * n, static_cast<uint64_t>(n));
        const HostValue r = host.call("math::inv", {host.array({n, n}, a)});
        ASSERT_TRUE(host.errors().empty());
        const std::vector<double> inverse = host.read(r).values;
        double worst = 0.0;
        for (int64_t i = 0; i < n; ++i) {
            for (int64_t j = 0; j < n; ++j) {
                double sum = 0.0;
                for (int64_t p = 0; p < n; ++p) sum += a[i * n + p] * inverse[p * n + j];
                worst = std::max(worst, std::fabs(sum - (i == j ? 1.0 : 0.0)));
            }
        }
        EXPECT_LT(worst, 1e-9);
    }
}

// ---- the fast elimination against the plain one -------------------------------------------

// Inputs whose pivots tie, whose updates produce zeros of both signs, that
// hold NaN, or whose last two columns are zero, so that the elimination
// stops as singular two steps before the end, besides plain random values.
enum class Fill { Random, SmallIntegers, WithZeros, WithNaN, LastColumnsZero };

std::vector<double> matrix_of(Fill fill, int64_t n, uint64_t seed) {
    std::vector<double> v = random_values(n * n, seed);
    std::mt19937_64 rng(seed + 1000);
    for (size_t t = 0; t < v.size(); ++t) {
        double& x = v[t];
        switch (fill) {
            case Fill::Random: break;
            case Fill::SmallIntegers: x = std::round(x * 3.0); break;  // -3..3: many ties, many zeros
            case Fill::WithZeros: if (rng() % 3 == 0) x = (rng() % 2 == 0) ? 0.0 : -0.0; break;
            case Fill::WithNaN: if (rng() % 17 == 0) x = kNaN; break;
            case Fill::LastColumnsZero: if (static_cast<int64_t>(t) % n >= n - 2) x = 0.0; break;
        }
    }
    return v;
}

// `invert` on a copy of `input` gives the plain elimination's outcome, its
// values bit for bit (partly eliminated ones too) and, if inverted, its pivots.
template <class Invert>
void expect_plain_bits(const std::vector<double>& input, int64_t n, Invert&& invert) {
    std::vector<double> plain = input, fast = input;
    std::vector<int64_t> r1(static_cast<size_t>(n), -7), c1(r1), r2(r1), c2(r1);
    const bool plain_ok = hostmath::invert_reference(plain.data(), n, r1.data(), c1.data());
    const bool fast_ok = invert(fast.data(), r2.data(), c2.data()) == hostmath::Inversion::kInverted;
    ASSERT_EQ(fast_ok, plain_ok);
    ASSERT_EQ(std::memcmp(plain.data(), fast.data(), plain.size() * sizeof(double)), 0);
    if (plain_ok) {
        EXPECT_EQ(r1, r2);
        EXPECT_EQ(c1, c2);
    }
}

TEST(InverseKernels, EveryKernelMatchesThePlainEliminationBitForBit) {
    const int64_t sizes[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 23, 31, 32, 33, 64, 65, 100, 131};
    const Fill fills[] = {Fill::Random, Fill::SmallIntegers, Fill::WithZeros, Fill::WithNaN, Fill::LastColumnsZero};
    for (MatmulKernel kernel : hostmath::kAllMatmulKernels) {
        if (!hostmath::kernel_supported(kernel)) continue;
        for (Fill fill : fills) {
            for (int64_t n : sizes) {
                SCOPED_TRACE(std::string(hostmath::kernel_name(kernel)) + " fill " +
                             std::to_string(static_cast<int>(fill)) + " n " + std::to_string(n));
                expect_plain_bits(matrix_of(fill, n, static_cast<uint64_t>(n) * 31 + 5), n,
                                  [&](double* a, int64_t* rows, int64_t* cols) {
                                      return hostmath::invert_with(kernel, a, n, rows, cols);
                                  });
            }
        }
    }
}

}  // namespace

namespace {

// The steps split into row ranges, as threads will run them, in reverse
// order: the result must not change by a bit.
TEST(InverseKernels, StepsSplitIntoRowRangesGiveTheSameBits) {
    for (int64_t n : {5, 40, 77}) {
        SCOPED_TRACE(n);
        const std::vector<double> input = matrix_of(Fill::SmallIntegers, n, 99);
        std::vector<double> plain = input, split = input;
        std::vector<int64_t> rows(static_cast<size_t>(n)), cols(rows);
        const bool plain_ok = hostmath::invert_reference(plain.data(), n, rows.data(), cols.data());
        ASSERT_TRUE(plain_ok);

        const int64_t cuts[] = {0, n / 3, n / 3 + 1, n};
        hostmath::GaussJordan elimination(MatmulKernel::kBaseline, split.data(), n);
        ASSERT_TRUE(elimination.ok());
        const auto catch_up = [&] {
            for (int r = 2; r >= 0; --r) elimination.catch_up_rows(cuts[r], cuts[r + 1]);
            elimination.end_window();
        };
        hostmath::Pivot pivot = hostmath::search_pivot(split.data(), n, 0, 0, n);
        for (int64_t k = 0; k < n; ++k) {
            ASSERT_FALSE(hostmath::negligible_pivot(pivot.magnitude));
            rows[static_cast<size_t>(k)] = pivot.row;
            cols[static_cast<size_t>(k)] = pivot.col;
            elimination.begin_step(k, pivot);
            hostmath::Pivot parts[3];
            for (int r = 2; r >= 0; --r) parts[r] = elimination.eliminate_rows(cuts[r], cuts[r + 1]);
            pivot = hostmath::later_in_scan_order(hostmath::later_in_scan_order(parts[0], parts[1]), parts[2]);
            if (elimination.window_full()) catch_up();
        }
        catch_up();
        hostmath::unscramble(split.data(), n, rows.data(), cols.data());
        EXPECT_EQ(std::memcmp(plain.data(), split.data(), plain.size() * sizeof(double)), 0);
    }
}

}  // namespace

namespace {

// Every step shared (one element per thread is enough), on teams larger and
// smaller than the rows left: the same bits and pivots as the plain
// elimination, the partly eliminated values of singular inputs included.
TEST(InverseThreads, EveryThreadCountGivesThePlainEliminationsBits) {
    const Fill fills[] = {Fill::Random, Fill::SmallIntegers, Fill::WithZeros, Fill::WithNaN, Fill::LastColumnsZero};
    for (Fill fill : fills) {
        for (int64_t n : {2, 9, 45, 77}) {
            const std::vector<double> input = matrix_of(fill, n, static_cast<uint64_t>(n) * 7 + 1);
            for (int threads : {2, 3, 7}) {
                SCOPED_TRACE("fill " + std::to_string(static_cast<int>(fill)) + " n " + std::to_string(n) + " on " +
                             std::to_string(threads) + " threads");
                expect_plain_bits(input, n, [&](double* a, int64_t* rows, int64_t* cols) {
                    return hostmath::invert_with(MatmulKernel::kBaseline, a, n, rows, cols, threads, 1);
                });
            }
        }
    }
}

}  // namespace
