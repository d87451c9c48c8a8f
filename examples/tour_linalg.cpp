// SPDX-License-Identifier: GPL-3.0-or-later
// Linear algebra: a system and its residual, a determinant, a Cholesky
// factor, a least-squares line, eigenvalues with their vectors, singular
// values.
#include <cstdio>

#include "examples/tour.h"

void tour_linalg(hostsim::Host& host) {
    std::printf("\n== Linear algebra ==\n");
    host.clear_errors();

    const Arg a = call(host, "math::matrix", {host.string("4 -2 1\r\n-2 4 -2\r\n1 -2 4\r\n")}, "a");
    const Arg b = call(host, "math::matrix", {host.string("11\r\n-16\r\n17\r\n")}, "b");
    say("solve: LU with partial pivoting, the same bits on every processor and thread count:");
    const Arg x = call(host, "math::solve", {a, b}, "x");
    say("The residual a * x - b:");
    apply(host, kMinus, {nested(host, kTimes, {a, x}), b});
    call(host, "math::det", {a});
    say("chol reads the lower triangle; a = l * l' up to rounding:");
    const Arg l = call(host, "math::chol", {a}, "l");
    apply(host, kTimes, {l, nested(host, kTranspose, {l})});

    say("A least-squares line through (0, 1.1), (1, 2.9), (2, 5.2), (3, 6.8): intercept and slope.");
    const Arg design = call(host, "math::matrix", {host.string("1 0\r\n1 1\r\n1 2\r\n1 3\r\n")}, "design");
    const Arg y = call(host, "math::matrix", {host.string("1.1\r\n2.9\r\n5.2\r\n6.8\r\n")}, "y");
    call(host, "math::lstsq", {design, y});

    say("Eigenvalues of a symmetric matrix, ascending; v receives the unit eigenvectors as columns,\n"
        "each with its largest component positive:");
    std::vector<Arg> eig_args{a, Arg("v", make_empty())};
    call(host, "math::eig", eig_args);
    say("A rotation has the eigenvalues -i and +i: rows of (real part, imaginary part).");
    call(host, "math::eig", {nested(host, "math::matrix", {host.string("0 -1\r\n1 0\r\n")})});

    say("Singular values, descending, with u and v such that m = u * diag(s) * v':");
    const Arg m = call(host, "math::matrix", {host.string("3 2 2\r\n2 3 -2\r\n")}, "m");
    std::vector<Arg> svd_args{m, Arg("u", make_empty()), Arg("w", make_empty())};
    call(host, "math::svd", svd_args);

    say("A singular system reports code 6:");
    call(host, "math::solve", {nested(host, "math::matrix", {host.string("1 2\r\n2 4\r\n")}), nested(host, "math::matrix", {host.string("1\r\n2\r\n")})});
}
