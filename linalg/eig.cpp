// SPDX-License-Identifier: GPL-3.0-or-later
// math::eig: eigenvalues, and on request eigenvectors, by GSL. A matrix
// equal to its transpose element for element takes the symmetric solver:
// real eigenvalues ascending, orthonormal eigenvectors. Any other takes the
// general one: complex eigenvalues as (real, imaginary) rows ordered by real
// and then imaginary part, and complex unit eigenvectors. Each eigenvector
// is turned so that its component of largest magnitude (the first on ties)
// is real and positive, so that the result does not depend on the solver's
// arbitrary sign or phase.
#include <gsl/gsl_complex_math.h>
#include <gsl/gsl_eigen.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "kernels/scratch.h"
#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace linalg;

constexpr HostChar kEigKey[] = u"math::eig";

using SymmetricWork = Owned<gsl_eigen_symmv_workspace, gsl_eigen_symmv_free>;
using GeneralWork = Owned<gsl_eigen_nonsymmv_workspace, gsl_eigen_nonsymmv_free>;
using GslComplexVector = Owned<gsl_vector_complex, gsl_vector_complex_free>;
using GslComplexMatrix = Owned<gsl_matrix_complex, gsl_matrix_complex_free>;

bool is_symmetric(const Matrix& a) {
    for (int64_t i = 0; i < a.rows; ++i) {
        for (int64_t j = 0; j < i; ++j) {
            if (a.data[i * a.cols + j] != a.data[j * a.cols + i]) return false;
        }
    }
    return true;
}

// The index of the first component of largest magnitude among `n` given by
// magnitude(i).
template <class Magnitude>
int64_t largest_component(int64_t n, Magnitude magnitude) {
    int64_t at = 0;
    double best = magnitude(0);
    for (int64_t i = 1; i < n; ++i) {
        if (magnitude(i) > best) {
            best = magnitude(i);
            at = i;
        }
    }
    return at;
}

// Fails with the GSL status as a kind -1 report, as quadrature does.
HostValue* gsl_failure(HostValue* result, int status, void* ctx) {
    report_kind(-1, kEigKey, status, ctx);
    return write_empty(result);
}

// Code 7 when the eigenvectors' array could not be made after the values':
// that one goes back to the host unused.
HostValue* no_memory(HostValue* result, OutArguments& out, RealArray* values, void* ctx) {
    out.hand_back(values);
    return fail(result, kEigKey, kCodeNoMemory, ctx);
}

HostValue* symmetric(HostValue* result, const Matrix& a, OutArguments& out, void* ctx) {
    const int64_t n = a.rows;
    const SolverScaling scaling = solver_scaling(a.data, n * n);
    GslMatrix work_matrix = gsl_copy_of(a.data, n, n, scaling);
    GslVector values = new_gsl_vector(n);
    GslMatrix vectors = new_gsl_matrix(n, n);
    SymmetricWork work{allocate_gated(gsl_eigen_symmv_alloc, static_cast<size_t>(n))};
    if (!work_matrix || !values || !vectors || !work) return fail(result, kEigKey, kCodeNoMemory, ctx);
    if (const int status = gsl_eigen_symmv(work_matrix.get(), values.get(), vectors.get(), work.get()))
        return gsl_failure(result, status, ctx);
    gsl_eigen_symmv_sort(values.get(), vectors.get(), GSL_EIGEN_SORT_VAL_ASC);

    // Both arrays are made before either is handed over.
    const int64_t sizes[1] = {n};
    RealArray* lambda = new_array_shaped(sizes);
    RealArray* v = lambda != nullptr && out.given(0) ? new_matrix(n, n) : nullptr;
    if (lambda == nullptr || (out.given(0) && v == nullptr)) return no_memory(result, out, lambda, ctx);
    if (v != nullptr) {
        for (int64_t j = 0; j < n; ++j) {
            const int64_t at = largest_component(n, [&](int64_t i) { return std::fabs(gsl_matrix_get(vectors.get(), i, j)); });
            const double sign = gsl_matrix_get(vectors.get(), at, j) < 0.0 ? -1.0 : 1.0;
            for (int64_t i = 0; i < n; ++i) v->data[i * n + j] = sign * gsl_matrix_get(vectors.get(), i, j);
        }
        out.store(0, v);
    }
    for (int64_t i = 0; i < n; ++i) lambda->data[i] = std::ldexp(gsl_vector_get(values.get(), i), scaling.exponent);
    return return_new_array(result, lambda, ctx);
}

HostValue* general(HostValue* result, const Matrix& a, OutArguments& out, void* ctx) {
    const int64_t n = a.rows;
    const SolverScaling scaling = solver_scaling(a.data, n * n);
    GslMatrix work_matrix = gsl_copy_of(a.data, n, n, scaling);
    GslComplexVector values{allocate_gated(gsl_vector_complex_alloc, static_cast<size_t>(n))};
    GslComplexMatrix vectors{allocate_gated(gsl_matrix_complex_alloc, static_cast<size_t>(n), static_cast<size_t>(n))};
    GeneralWork work{allocate_gated(gsl_eigen_nonsymmv_alloc, static_cast<size_t>(n))};
    Scratch<int64_t> order(n);
    if (!work_matrix || !values || !vectors || !work || !order.ok()) return fail(result, kEigKey, kCodeNoMemory, ctx);
    if (const int status = gsl_eigen_nonsymmv(work_matrix.get(), values.get(), vectors.get(), work.get()))
        return gsl_failure(result, status, ctx);

    // Ascending by real part, then by imaginary part; equal eigenvalues keep
    // the solver's order.
    auto value = [&](int64_t j) { return gsl_vector_complex_get(values.get(), j); };
    std::iota(order.get(), order.get() + n, int64_t{0});
    std::stable_sort(order.get(), order.get() + n, [&](int64_t p, int64_t q) {
        const gsl_complex x = value(p), y = value(q);
        if (GSL_REAL(x) != GSL_REAL(y)) return GSL_REAL(x) < GSL_REAL(y);
        return GSL_IMAG(x) < GSL_IMAG(y);
    });

    // Both arrays are made before either is handed over.
    RealArray* lambda = new_matrix(n, 2);
    const int64_t vector_sizes[3] = {n, n, 2};
    RealArray* v = lambda != nullptr && out.given(0) ? new_array_shaped(vector_sizes) : nullptr;
    if (lambda == nullptr || (out.given(0) && v == nullptr)) return no_memory(result, out, lambda, ctx);
    if (v != nullptr) {
        for (int64_t j = 0; j < n; ++j) {
            const int64_t src = order[static_cast<size_t>(j)];
            auto component = [&](int64_t i) { return gsl_matrix_complex_get(vectors.get(), i, src); };
            const int64_t at = largest_component(n, [&](int64_t i) { return gsl_complex_abs(component(i)); });
            // Multiplying by conj(c) / |c| turns the largest component c real
            // and positive; it is then set to |c| exactly.
            const gsl_complex c = component(at);
            const gsl_complex turn = gsl_complex_div_real(gsl_complex_conjugate(c), gsl_complex_abs(c));
            for (int64_t i = 0; i < n; ++i) {
                const gsl_complex z = i == at ? gsl_complex_rect(gsl_complex_abs(c), 0.0) : gsl_complex_mul(component(i), turn);
                v->data[(i * n + j) * 2] = GSL_REAL(z);
                v->data[(i * n + j) * 2 + 1] = GSL_IMAG(z);
            }
        }
        out.store(0, v);
    }
    for (int64_t j = 0; j < n; ++j) {
        const gsl_complex z = value(order[static_cast<size_t>(j)]);
        lambda->data[2 * j] = std::ldexp(GSL_REAL(z), scaling.exponent);
        lambda->data[2 * j + 1] = std::ldexp(GSL_IMAG(z), scaling.exponent);
    }
    return return_new_array(result, lambda, ctx);
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(eig) {
    write_empty(result);
    if (last_index < 0 || last_index > 1) return fail(result, kEigKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_square(args[0], &a)) return fail(result, kEigKey, code, ctx);
    if (!all_finite(a.data, a.rows * a.cols)) return fail(result, kEigKey, kCodeNotFinite, ctx);
    OutArguments out(args, last_index + 1, 1, ctx);
    return is_symmetric(a) ? symmetric(result, a, out, ctx) : general(result, a, out, ctx);
}

}  // namespace hostmath
