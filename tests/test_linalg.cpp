// SPDX-License-Identifier: GPL-3.0-or-later
// The linear-algebra functions through the stand-in host: solve, det and chol
// against the documented plain loops bit for bit, lstsq, eig and svd by their
// defining identities and conventions, and every code.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/dense_lu.h"
#include "tests/support.h"

namespace {

using Args = std::vector<HostValue>;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using LinalgTest = LibraryTest;

// ---- the documented order, in plain loops --------------------------------------------

struct PlainLu {
    Values lu;
    std::vector<int64_t> pivot;
    int64_t swaps = 0;
    bool singular = false;
};

PlainLu plain_lu(Values a, int64_t n) {
    PlainLu f;
    auto at = [&](int64_t r, int64_t c) -> double& { return a[static_cast<size_t>(r * n + c)]; };
    for (int64_t s = 0; s + 1 < n && !f.singular; ++s) {
        double best = 0.0;
        int64_t p = -1;
        for (int64_t r = s; r < n; ++r) {
            if (std::fabs(at(r, s)) > best) {
                best = std::fabs(at(r, s));
                p = r;
            }
        }
        if (p < 0) {
            f.singular = true;
            break;
        }
        f.pivot.push_back(p);
        if (p != s) {
            for (int64_t j = 0; j < n; ++j) std::swap(at(s, j), at(p, j));
            ++f.swaps;
        }
        for (int64_t r = s + 1; r < n; ++r) {
            const double l = at(r, s) / at(s, s);
            at(r, s) = l;
            for (int64_t j = s + 1; j < n; ++j) at(r, j) = at(r, j) - l * at(s, j);
        }
    }
    if (!f.singular && at(n - 1, n - 1) == 0.0) f.singular = true;
    f.lu = a;
    return f;
}

// X for the n x k row-major b.
Values plain_solve(const PlainLu& f, Values b, int64_t n, int64_t k) {
    auto lu = [&](int64_t r, int64_t c) { return f.lu[static_cast<size_t>(r * n + c)]; };
    auto bb = [&](int64_t r, int64_t c) -> double& { return b[static_cast<size_t>(r * k + c)]; };
    for (size_t s = 0; s < f.pivot.size(); ++s) {
        for (int64_t c = 0; c < k; ++c) std::swap(bb(static_cast<int64_t>(s), c), bb(f.pivot[s], c));
    }
    for (int64_t c = 0; c < k; ++c) {
        for (int64_t r = 0; r < n; ++r) {
            for (int64_t s = 0; s < r; ++s) bb(r, c) = bb(r, c) - lu(r, s) * bb(s, c);
        }
        for (int64_t r = n - 1; r >= 0; --r) {
            double x = bb(r, c);
            for (int64_t q = r + 1; q < n; ++q) x = x - lu(r, q) * bb(q, c);
            bb(r, c) = x / lu(r, r);
        }
    }
    return b;
}

double plain_det(const PlainLu& f, int64_t n) {
    if (f.singular) return 0.0;
    double d = 1.0;
    for (int64_t i = 0; i < n; ++i) d = d * f.lu[static_cast<size_t>(i * n + i)];
    for (int64_t s = 0; s < f.swaps; ++s) d = -d;
    return d;
}

// L, or empty when not positive definite.
Values plain_chol(const Values& a, int64_t n) {
    Values l(a.size(), 0.0);
    auto at = [&](int64_t r, int64_t c) { return a[static_cast<size_t>(r * n + c)]; };
    auto ll = [&](int64_t r, int64_t c) -> double& { return l[static_cast<size_t>(r * n + c)]; };
    for (int64_t j = 0; j < n; ++j) {
        double d = at(j, j);
        for (int64_t k = 0; k < j; ++k) d = d - ll(j, k) * ll(j, k);
        if (!(d > 0.0)) return {};
        ll(j, j) = std::sqrt(d);
        for (int64_t i = j + 1; i < n; ++i) {
            double x = at(i, j);
            for (int64_t k = 0; k < j; ++k) x = x - ll(i, k) * ll(j, k);
            ll(i, j) = x / ll(j, j);
        }
    }
    return l;
}

// A symmetric positive definite matrix: M M^T + n I.
Values spd(int64_t n, unsigned seed) {
    const Values m = random_values(static_cast<size_t>(n * n), seed);
    Values a(static_cast<size_t>(n * n));
    for (int64_t i = 0; i < n; ++i) {
        for (int64_t j = 0; j < n; ++j) {
            double s = i == j ? static_cast<double>(n) : 0.0;
            for (int64_t k = 0; k < n; ++k) s += m[static_cast<size_t>(i * n + k)] * m[static_cast<size_t>(j * n + k)];
            a[static_cast<size_t>(i * n + j)] = s;
        }
    }
    return a;
}

bool same_values(const Values& got, const Values& want) {
    if (got.size() != want.size()) return false;
    for (size_t i = 0; i < got.size(); ++i) {
        if (!same_bits(got[i], want[i])) return false;
    }
    return true;
}

// Matrices whose elimination meets ties, zeros, NaN and infinities.
struct Special {
    const char* what;
    int64_t n;
    Values a;
};
const Special kSpecials[] = {
    {"ties in the pivot column: the first row wins", 3, {1, 2, 3, -1, 5, 6, 1, 8, 10}},
    {"a zero first pivot candidate", 3, {0, 1, 2, 3, 0, 1, 2, 3, 0}},
    {"NaN in the pivot column is never chosen", 3, {kNaN, 1, 2, 1, 3, 4, 2, 5, 7}},
    {"an infinity", 2, {kInf, 1, 1, 2}},
    {"-0.0 entries", 2, {-0.0, 2, 3, -0.0}},
};

}  // namespace

TEST_F(LinalgTest, SolveDetAndCholMatchThePlainLoopsBitForBit) {
    std::vector<Special> cases(std::begin(kSpecials), std::end(kSpecials));
    unsigned seed = 1;
    for (int64_t n : {1, 2, 3, 7, 33, 70, 200, 290}) cases.push_back({"random", n, random_values(static_cast<size_t>(n * n), seed++)});
    for (const Special& c : cases) {
        const int64_t n = c.n;
        SCOPED_TRACE(std::string(c.what) + ", n = " + std::to_string(n));
        const PlainLu f = plain_lu(c.a, n);
        const HostValue a = host.array({n, n}, c.a);
        host.clear_errors();
        EXPECT_TRUE(same_bits(host.call("math::det", {a}).real(), plain_det(f, n)));
        for (int64_t k : {1, 3}) {
            const Values b = random_values(static_cast<size_t>(n * k), seed++);
            const HostValue x = host.call("math::solve", {a, k == 1 ? host.array({n}, b) : host.array({n, k}, b)});
            if (f.singular) {
                EXPECT_TRUE(is_empty_result(x));
                continue;
            }
            EXPECT_TRUE(same_values(host.read(x).values, plain_solve(f, b, n, k))) << "k = " << k;
        }
    }
    for (int64_t n : {1, 2, 5, 33, 70, 200, 290}) {
        const Values a = spd(n, static_cast<unsigned>(n));
        const HostValue l = host.call("math::chol", {host.array({n, n}, a)});
        EXPECT_TRUE(same_values(host.read(l).values, plain_chol(a, n))) << "n = " << n;
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, SmallExactCases) {
    // 2x + y = 3, x + 3y = 5: x = 0.8, y = 1.4 (within rounding).
    const HostValue x = host.call("math::solve", {host.array({2, 2}, {2, 1, 1, 3}), host.array({1, 2}, {3, 5})});
    EXPECT_EQ(host.read(x).shape, (std::vector<int64_t>{1, 2}));  // B's shape
    EXPECT_NEAR(host.read(x).values[0], 0.8, 1e-15);
    EXPECT_NEAR(host.read(x).values[1], 1.4, 1e-15);
    EXPECT_EQ(host.call("math::det", {host.array({2, 2}, {1, 2, 3, 4})}).real(), -2.0);
    EXPECT_EQ(host.call("math::det", {host.array({3, 3}, {0, 1, 0, 1, 0, 0, 0, 0, 1})}).real(), -1.0);
    // Singular: +0.0, without a report.
    const double singular = host.call("math::det", {host.array({2, 2}, {1, 2, 2, 4})}).real();
    EXPECT_TRUE(same_bits(singular, 0.0));
    EXPECT_TRUE(same_bits(host.call("math::det", {host.array({2, 2}, {0, 0, 0, 0})}).real(), 0.0));
    // chol reads the lower triangle only; the upper one of L is 0.
    const HostValue l = host.call("math::chol", {host.array({2, 2}, {4, 99, 2, 5})});
    EXPECT_EQ(host.read(l).values, (Values{2, 0, 1, 2}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, LeastSquares) {
    // y = 2 + 3 t sampled without noise: the fit is the line itself.
    const int64_t m = 6;
    Values a, y;
    for (int64_t i = 0; i < m; ++i) {
        a.insert(a.end(), {1.0, static_cast<double>(i)});
        y.push_back(2.0 + 3.0 * static_cast<double>(i));
    }
    const HostValue line = host.call("math::lstsq", {host.array({m, 2}, a), host.array({m}, y)});
    ASSERT_EQ(host.read(line).shape, std::vector<int64_t>{2});
    EXPECT_NEAR(host.read(line).values[0], 2.0, 1e-13);
    EXPECT_NEAR(host.read(line).values[1], 3.0, 1e-13);

    // Random 40 x 5 with three right-hand sides: the residual is orthogonal
    // to the columns of A (the normal equations).
    const Values ra = random_values(200, 7), rb = random_values(120, 8);
    const HostValue x = host.call("math::lstsq", {host.array({40, 5}, ra), host.array({40, 3}, rb)});
    ASSERT_EQ(host.read(x).shape, (std::vector<int64_t>{5, 3}));
    const Values xv = host.read(x).values;
    for (int64_t c = 0; c < 3; ++c) {
        for (int64_t j = 0; j < 5; ++j) {
            double dot = 0.0;
            for (int64_t i = 0; i < 40; ++i) {
                double r = rb[static_cast<size_t>(i * 3 + c)];
                for (int64_t q = 0; q < 5; ++q) r -= ra[static_cast<size_t>(i * 5 + q)] * xv[static_cast<size_t>(q * 3 + c)];
                dot += ra[static_cast<size_t>(i * 5 + j)] * r;
            }
            EXPECT_NEAR(dot, 0.0, 1e-12);
        }
    }
    // A row vector B gives a row vector X.
    const HostValue row = host.call("math::lstsq", {host.array({m, 2}, a), host.array({1, m}, y)});
    EXPECT_EQ(host.read(row).shape, (std::vector<int64_t>{1, 2}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, SymmetricEigenvaluesAscendingWithSignFixedVectors) {
    Args args{host.array({2, 2}, {2, 1, 1, 2}), make_empty()};
    const HostValue lambda = host.call("math::eig", args);
    const Values l = host.read(lambda).values;
    ASSERT_EQ(l.size(), 2u);
    EXPECT_NEAR(l[0], 1.0, 1e-15);
    EXPECT_NEAR(l[1], 3.0, 1e-15);
    const Values v = host.read(args[1]).values;
    const double h = 1 / std::sqrt(2.0);
    // Column 0 is (h, -h): its components tie, and the first is made positive.
    EXPECT_NEAR(v[0], h, 1e-15);
    EXPECT_NEAR(v[2], -h, 1e-15);
    EXPECT_NEAR(v[1], h, 1e-15);
    EXPECT_NEAR(v[3], h, 1e-15);
    EXPECT_EQ(host.fun_save_obj_calls(), 2);  // the opening call and V

    // Random symmetric 30 x 30: A V = V diag(lambda), column by column.
    const int64_t n = 30;
    const Values a = spd(n, 3);
    Args big{host.array({n, n}, a), make_empty()};
    const Values w = host.read(host.call("math::eig", big)).values;
    const Values vv = host.read(big[1]).values;
    EXPECT_TRUE(std::is_sorted(w.begin(), w.end()));
    for (int64_t j = 0; j < n; ++j) {
        for (int64_t i = 0; i < n; ++i) {
            double av = 0.0;
            for (int64_t k = 0; k < n; ++k) av += a[static_cast<size_t>(i * n + k)] * vv[static_cast<size_t>(k * n + j)];
            EXPECT_NEAR(av, w[static_cast<size_t>(j)] * vv[static_cast<size_t>(i * n + j)], 1e-10);
        }
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, GeneralEigenvaluesOrderedWithPhaseFixedVectors) {
    // A rotation by 90 degrees: eigenvalues -i and +i, in that order.
    Args args{host.array({2, 2}, {0, -1, 1, 0}), make_empty()};
    const HostValue lambda = host.call("math::eig", args);
    EXPECT_EQ(host.read(lambda).shape, (std::vector<int64_t>{2, 2}));
    const Values l = host.read(lambda).values;
    EXPECT_NEAR(l[0], 0.0, 1e-15);
    EXPECT_NEAR(l[1], -1.0, 1e-15);
    EXPECT_NEAR(l[2], 0.0, 1e-15);
    EXPECT_NEAR(l[3], 1.0, 1e-15);
    const hostsim::ArrayContents v = host.read(args[1]);
    EXPECT_EQ(v.shape, (std::vector<int64_t>{2, 2, 2}));
    // Each eigenvector: A v = lambda v, unit norm, largest component real and positive.
    const double a[2][2] = {{0, -1}, {1, 0}};
    for (int64_t j = 0; j < 2; ++j) {
        auto re = [&](int64_t i) { return v.values[static_cast<size_t>((i * 2 + j) * 2)]; };
        auto im = [&](int64_t i) { return v.values[static_cast<size_t>((i * 2 + j) * 2 + 1)]; };
        const double lr = l[static_cast<size_t>(2 * j)], li = l[static_cast<size_t>(2 * j + 1)];
        double norm = 0.0;
        for (int64_t i = 0; i < 2; ++i) {
            double avr = 0.0, avi = 0.0;
            for (int64_t k = 0; k < 2; ++k) {
                avr += a[i][k] * re(k);
                avi += a[i][k] * im(k);
            }
            EXPECT_NEAR(avr, lr * re(i) - li * im(i), 1e-14);
            EXPECT_NEAR(avi, lr * im(i) + li * re(i), 1e-14);
            norm += re(i) * re(i) + im(i) * im(i);
        }
        EXPECT_NEAR(norm, 1.0, 1e-14);
        EXPECT_GT(re(0), 0.0);  // the components tie in magnitude: the first is turned
        EXPECT_EQ(im(0), 0.0);
    }
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, SingularValuesDescendingWithFactors) {
    for (const std::vector<int64_t>& shape : {std::vector<int64_t>{7, 4}, std::vector<int64_t>{4, 7}}) {
        const int64_t m = shape[0], n = shape[1], p = std::min(m, n);
        SCOPED_TRACE(std::to_string(m) + " x " + std::to_string(n));
        const Values a = random_values(static_cast<size_t>(m * n), 11);
        Args args{host.array(shape, a), make_empty(), make_empty()};
        const Values s = host.read(host.call("math::svd", args)).values;
        ASSERT_EQ(s.size(), static_cast<size_t>(p));
        EXPECT_TRUE(std::is_sorted(s.rbegin(), s.rend()));
        const hostsim::ArrayContents u = host.read(args[1]), v = host.read(args[2]);
        EXPECT_EQ(u.shape, (std::vector<int64_t>{m, p}));
        EXPECT_EQ(v.shape, (std::vector<int64_t>{n, p}));
        for (int64_t i = 0; i < m; ++i) {
            for (int64_t j = 0; j < n; ++j) {
                double r = 0.0;
                for (int64_t k = 0; k < p; ++k)
                    r += u.values[static_cast<size_t>(i * p + k)] * s[static_cast<size_t>(k)] * v.values[static_cast<size_t>(j * p + k)];
                EXPECT_NEAR(r, a[static_cast<size_t>(i * n + j)], 1e-13);
            }
        }
        for (int64_t k = 0; k < p; ++k) {
            double largest = 0.0;
            for (int64_t j = 0; j < n; ++j) {
                const double x = v.values[static_cast<size_t>(j * p + k)];
                if (std::fabs(x) > std::fabs(largest)) largest = x;
            }
            EXPECT_GT(largest, 0.0) << "column " << k;
        }
    }
    const Values d = host.read(host.call("math::svd", {host.array({2, 2}, {3, 0, 0, -4})})).values;
    EXPECT_EQ(d, (Values{4, 3}));
    EXPECT_TRUE(host.errors().empty());
}

TEST_F(LinalgTest, Refusals) {
    const HostValue sq = host.array({2, 2}, {1, 2, 3, 4});
    const HostValue v2 = host.array({2}, {1, 1});
    const HostValue tall = host.array({3, 2}, {1, 0, 0, 1, 1, 1});
    const HostValue v3 = host.array({3}, {1, 2, 3});
    const HostValue cube = host.array({2, 2, 2});
    const HostValue with_nan = host.array({2, 2}, {1, kNaN, 0, 1});
    const HostValue empty = host.array({0, 0});
    struct Refusal {
        const char* key;
        Args args;
        int64_t code;
    };
    const Refusal refusals[] = {
        {"math::solve", {sq}, 1},
        {"math::solve", {make_real(1), v2}, 2},
        {"math::solve", {tall, v3}, 3},
        {"math::solve", {cube, v2}, 3},
        {"math::solve", {empty, v2}, 3},
        {"math::solve", {sq, make_real(1)}, 4},
        {"math::solve", {sq, v3}, 5},
        {"math::solve", {sq, host.array({3, 2})}, 5},
        {"math::solve", {host.array({2, 2}, {1, 2, 2, 4}), v2}, 6},
        {"math::solve", {host.array({2, 2}, {0, 1, 0, 1}), v2}, 6},
        {"math::det", {sq, sq}, 1},
        {"math::det", {make_integer(1)}, 2},
        {"math::det", {v2}, 3},
        {"math::chol", {}, 1},
        {"math::chol", {tall}, 3},
        {"math::chol", {host.array({2, 2}, {1, 0, 2, 1})}, 4},   // d = 1 - 4 < 0
        {"math::chol", {host.array({2, 2}, {kNaN, 0, 0, 1})}, 4},
        {"math::chol", {host.array({2, 2}, {0, 0, 0, 1})}, 4},
        {"math::lstsq", {tall}, 1},
        {"math::lstsq", {v2, v3}, 3},
        {"math::lstsq", {host.array({2, 3}), v2}, 3},
        {"math::lstsq", {tall, make_real(0)}, 4},
        {"math::lstsq", {tall, v2}, 5},
        {"math::lstsq", {host.array({3, 2}, {1, kInf, 0, 1, 1, 1}), v3}, 5},
        {"math::lstsq", {tall, host.array({3}, {1, kNaN, 3})}, 5},
        {"math::lstsq", {host.array({3, 2}, {1, 2, 2, 4, 3, 6}), v3}, 6},
        {"math::lstsq", {host.array({3, 2}), v3}, 6},
        {"math::eig", {sq, v2, v2}, 1},
        {"math::eig", {make_real(0)}, 2},
        {"math::eig", {tall}, 3},
        {"math::eig", {with_nan}, 5},
        {"math::svd", {sq, v2, v2, v2}, 1},
        {"math::svd", {make_real(0)}, 2},
        {"math::svd", {v2}, 3},
        {"math::svd", {host.array({0, 3})}, 3},
        {"math::svd", {with_nan}, 5},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(std::string(r.key) + " code " + std::to_string(r.code));
        expect_refused(host, r.key, r.args, r.code);
    }
    // Plain host real arrays are accepted as math arrays are.
    host.clear_errors();
    const HostValue plain = host.array({2, 2}, {2, 0, 0, 4}, kTypeRealArray);
    EXPECT_EQ(host.call("math::det", {plain}).real(), 8.0);
    EXPECT_TRUE(host.errors().empty());
}

// The blocked factorisations against the plain loops, on every kernel and
// thread count, on orders around the panel width and matrices with ties,
// zeros, NaN and a singular step.
TEST(LinalgKernels, BlockedFactorsAreThePlainOnesBitForBit) {
    using hostmath::MatmulKernel;
    struct Case {
        const char* what;
        int64_t n;
        Values a;
    };
    std::vector<Case> cases;
    unsigned seed = 40;
    for (int64_t n : {127, 128, 129, 257, 300}) cases.push_back({"random", n, random_values(static_cast<size_t>(n * n), seed++)});
    // Small integers: many ties in the pivot search and exact zeros.
    Values ties = random_values(200 * 200, seed++);
    for (double& x : ties) x = std::round(x * 2);
    cases.push_back({"ties and zeros", 200, ties});
    Values nan = random_values(200 * 200, seed++);
    nan[150 * 200 + 7] = kNaN;
    nan[3] = kInf;
    cases.push_back({"NaN and infinity", 200, nan});
    Values singular = random_values(200 * 200, seed++);
    for (int64_t i = 0; i < 200; ++i) singular[static_cast<size_t>(i * 200 + 150)] = singular[static_cast<size_t>(i * 200 + 17)];
    cases.push_back({"singular at a late step", 200, singular});
    // The last column all NaN but for its first row: the last pivot is NaN
    // and propagates, where a search that took NaN for "no pivot" would stop.
    Values last_nan = random_values(200 * 200, seed++);
    for (int64_t i = 1; i < 200; ++i) last_nan[static_cast<size_t>(i * 200 + 199)] = kNaN;
    cases.push_back({"NaN in the last column", 200, last_nan});

    for (MatmulKernel kernel : hostmath::kAllMatmulKernels) {
        if (!hostmath::kernel_supported(kernel)) continue;
        for (const Case& c : cases) {
            const int64_t n = c.n;
            Values plain = c.a;
            std::vector<int64_t> pivot(static_cast<size_t>(n)), fast_pivot(static_cast<size_t>(n));
            int64_t swaps = 0, fast_swaps = 0;
            const auto status = hostmath::lu_factor_plain(plain.data(), n, pivot.data(), &swaps);
            const Values spd_input = spd(n, seed);
            Values l_plain = spd_input;
            ASSERT_TRUE(hostmath::cholesky_factor_plain(l_plain.data(), n));
            for (int threads : {1, 2, 3, 7}) {
                SCOPED_TRACE(std::string(hostmath::kernel_name(kernel)) + ", " + c.what + ", n = " + std::to_string(n) +
                             ", threads " + std::to_string(threads));
                Values fast = c.a;
                EXPECT_EQ(hostmath::lu_factor_with(kernel, fast.data(), n, fast_pivot.data(), &fast_swaps, threads), status);
                if (status == hostmath::LuStatus::kFactored) {
                    EXPECT_TRUE(same_values(fast, plain));
                    EXPECT_EQ(fast_pivot, pivot);
                    EXPECT_EQ(fast_swaps, swaps);
                }
                Values l_fast = spd_input;
                ASSERT_TRUE(hostmath::cholesky_factor_with(kernel, l_fast.data(), n, threads));
                EXPECT_TRUE(same_values(l_fast, l_plain));
            }
        }
    }
}

// Below the blocked orders the factorisations run the plain loops, LU's
// row updates on the span kernels: still the plain loops' bits.
TEST(LinalgKernels, SmallOrdersAreThePlainOnesBitForBit) {
    unsigned seed = 70;
    for (int64_t n : {1, 2, 7, 64, 127, 191}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Values a = random_values(static_cast<size_t>(n * n), seed++);
        Values plain = a, fast = a;
        std::vector<int64_t> pivot(static_cast<size_t>(n)), fast_pivot(static_cast<size_t>(n));
        int64_t swaps = 0, fast_swaps = 0;
        EXPECT_EQ(hostmath::lu_factor(fast.data(), n, fast_pivot.data(), &fast_swaps, 1),
                  hostmath::lu_factor_plain(plain.data(), n, pivot.data(), &swaps));
        EXPECT_TRUE(same_values(fast, plain));
        EXPECT_EQ(fast_pivot, pivot);
        const Values spd_input = spd(n, seed);
        Values l_plain = spd_input, l_fast = spd_input;
        ASSERT_TRUE(hostmath::cholesky_factor_plain(l_plain.data(), n));
        ASSERT_TRUE(hostmath::cholesky_factor(l_fast.data(), n, 1));
        EXPECT_TRUE(same_values(l_fast, l_plain));
    }
}

// Matrices of subnormal or huge elements: the solvers work on an exactly
// scaled copy (GSL's symmetric solver never converges on a matrix of
// subnormals alone), and the values come back scaled exactly.
TEST_F(LinalgTest, EigenAndSingularValuesOfTinyAndHugeMatrices) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double huge = 0x1p1000;
    struct Case {
        const char* what;
        double scale;
    };
    for (const Case& c : {Case{"subnormal", tiny}, Case{"huge", huge}}) {
        SCOPED_TRACE(c.what);
        host.clear_errors();
        // 2 x [[2, 1], [1, 2]] scaled: eigenvalues 1 and 3, singular values 3 and 1, times the scale.
        const HostValue a = host.array({2, 2}, {2 * c.scale, c.scale, c.scale, 2 * c.scale});
        const Values w = host.read(host.call("math::eig", {a})).values;
        const Values s = host.read(host.call("math::svd", {a})).values;
        ASSERT_EQ(w.size(), 2u);
        ASSERT_EQ(s.size(), 2u);
        // Within rounding of the scaled problem, as many bits as the scale leaves.
        const double slack = c.scale == tiny ? tiny : 1e-15 * c.scale;
        EXPECT_NEAR(w[0], c.scale, slack);
        EXPECT_NEAR(w[1], 3 * c.scale, 3 * slack);
        EXPECT_NEAR(s[0], 3 * c.scale, 3 * slack);
        EXPECT_NEAR(s[1], c.scale, slack);
        EXPECT_TRUE(host.errors().empty());
    }
    // Four by four, every element the smallest subnormal: the eigenvalues are
    // 0, 0, 0 and 4 times it.
    const HostValue ones = host.array({4, 4}, Values(16, tiny));
    const Values w = host.read(host.call("math::eig", {ones})).values;
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[3], 4 * tiny);
    for (int i = 0; i < 3; ++i) EXPECT_LT(std::fabs(w[static_cast<size_t>(i)]), 2 * tiny);
}
