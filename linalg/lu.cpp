// SPDX-License-Identifier: GPL-3.0-or-later
// math::solve and math::det: LU factorisation with partial pivoting of a
// copy of A (kernels/dense_lu.h has the exact order of operations).
#include <cstring>

#include "kernels/dense_lu.h"
#include "kernels/scratch.h"
#include "linalg/matrix_args.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

using namespace linalg;

constexpr HostChar kSolveKey[] = u"math::solve";
constexpr HostChar kDetKey[] = u"math::det";

// The factors of one call's copy of A.
class Factors {
public:
    explicit Factors(const Matrix& a) : n_(a.rows), lu_(n_ * n_), pivot_(n_) {
        if (ok()) std::memcpy(lu_.get(), a.data, static_cast<size_t>(n_ * n_) * sizeof(double));
    }
    bool ok() const { return lu_.ok() && pivot_.ok(); }
    bool factor() { return lu_factor(lu_.get(), n_, pivot_.get(), &swaps_, factor_threads(n_)) == LuStatus::kFactored; }
    void solve(double* b, int64_t k) const { lu_solve(lu_.get(), n_, pivot_.get(), b, k); }
    double determinant() const { return lu_determinant(lu_.get(), n_, swaps_); }

private:
    int64_t n_;
    Scratch<double> lu_;
    Scratch<int64_t> pivot_;
    int64_t swaps_ = 0;
};

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(solve) {
    write_empty(result);
    if (last_index != 1) return fail(result, kSolveKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_square(args[0], &a)) return fail(result, kSolveKey, code, ctx);
    RightSide b;
    if (const int64_t code = read_right_side(args[1], a.rows, &b)) return fail(result, kSolveKey, code, ctx);

    Factors factors(a);
    if (!factors.ok()) return fail(result, kSolveKey, kCodeNoMemory, ctx);
    if (!factors.factor()) return fail(result, kSolveKey, kCodeSingular, ctx);
    RealArray* x = new_array_like(*b.array);
    if (x == nullptr) return fail(result, kSolveKey, kCodeNoMemory, ctx);
    if (x->count > 0) std::memcpy(x->data, b.array->data, static_cast<size_t>(x->count) * sizeof(double));
    factors.solve(x->data, b.cols);
    return return_new_array(result, x, ctx);
}

HOSTMATH_SCRIPT_FUNCTION(det) {
    write_empty(result);
    if (last_index != 0) return fail(result, kDetKey, kCodeArgumentCount, ctx);
    Matrix a;
    if (const int64_t code = read_square(args[0], &a)) return fail(result, kDetKey, code, ctx);
    Factors factors(a);
    if (!factors.ok()) return fail(result, kDetKey, kCodeNoMemory, ctx);
    // A singular matrix has the determinant +0, whatever sign the steps made had.
    return write_real(result, factors.factor() ? factors.determinant() : 0.0);
}

}  // namespace hostmath
