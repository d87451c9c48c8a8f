// SPDX-License-Identifier: GPL-3.0-or-later
// netn: a root of a system of n nonlinear equations f(x) = 0 by a discrete
// quasi-Newton method. Each iteration evaluates f at the point and at the n
// points displaced by h along each axis, solves one linear system for the
// step, moves the point and shrinks h by the factor t.
//
// f comes in two forms, told apart by its parameter count: f(xa, ya) with
// two vectors (the array form), or f(x1, ..., xn, y1, ..., yn) with 2n reals
// (the scalar form). Everything the iteration needs per evaluation is set up
// once per call, so an evaluation costs one script call.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "kernels/linear_solve.h"
#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {
namespace {

constexpr const HostChar* kName = u"math::netn";

// Run-error codes, reported with kind 1.
enum NetnCode : int64_t {
    kCodeArgumentCount = 1,  // not 2 to 6 arguments
    kCodeNotAFunction = 2,   // f is not a script function the host can resolve
    kCodeOddParameters = 3,  // f's parameter count is odd or zero
    kCodeNotAnArray = 4,     // x is not a math array
    kCodeStartTooShort = 5,  // scalar form: x has fewer than n elements
    kCodeBadSetting = 6,     // eps, t, h or k of the wrong kind or out of range
    kCodeNoMemory = 7,
    kCodeArrayLost = 8,  // after a call of f, an array the call works on is gone or resized
    // f gave a value that is not a number at the point: it is no root, and
    // the iteration cannot go on from it. The documented codes stop at 8;
    // this one follows them and is listed in docs/roots.md.
    kCodeNotANumber = 9,
};

// The results other than an iteration count.
constexpr int64_t kResultSingular = -1;
constexpr int64_t kResultBetaNegligible = -2;

struct Settings {
    double eps = 1e-6;
    double t = 0.1;  // the factor that shrinks h after every iteration
    double h = 0.1;  // the displacement along each axis
    int64_t k = 100;  // the iteration limit
};

// Arguments 3 to 6. Each must be of its kind: reading a real's bits as the
// iteration limit, or an integer's as a step, gives a value nobody meant.
// NaN fails the range tests.
bool read_settings(std::span<const HostValue> args, Settings* s) {
    if (args.size() < 3) return true;
    if (!is_real(args[2])) return false;
    s->eps = args[2].real();
    if (args.size() > 3) {
        if (!is_real(args[3])) return false;
        s->t = args[3].real();
    }
    if (args.size() > 4) {
        if (!is_real(args[4])) return false;
        s->h = args[4].real();
    }
    if (args.size() > 5) {
        if (!is_integer(args[5])) return false;
        s->k = args[5].integer();
    }
    return s->eps > 0.0 && s->t > 0.0 && s->t < 1.0 && s->k >= 1;
}

// f, set up for evaluation at a point of n coordinates.
class System {
public:
    System(void* handle, HostValue* params, int64_t n) : handle_(handle), params_(params), n_(n) {}

    // Array form: the two vectors f receives, made once per call and handed
    // to the host as kept objects.
    bool make_vectors(HostValue* args, void* ctx) {
        save_arrays_begin(ctx, args);
        return make_vector(&xa_, args, ctx) && make_vector(&ya_, args, ctx);
    }
    bool array_form() const { return xa_.word1 != 0; }

    // The n values of f at p into `values`, with coordinate `axis` (when not
    // negative) moved to `moved`; false when, in the array form, f has left
    // its parameters without a vector of n elements. The point is moved on
    // its way into f rather than in place, so that it is not read back right
    // after a store to it.
    bool evaluate(const double* p, double* values, int64_t axis = -1, double moved = 0.0) {
        if (array_form()) {
            std::memcpy(xa_data_, p, bytes());
            if (axis >= 0) xa_data_[axis] = moved;
            params_[0] = xa_;
            params_[1] = ya_;
            call();
            return read_array_results(values);
        }
        for (int64_t i = 0; i < n_; ++i) params_[i] = make_real(p[i]);
        if (axis >= 0) params_[axis] = make_real(moved);
        call();
        // Whatever f assigned, read as doubles; nothing clears them before a call.
        for (int64_t i = 0; i < n_; ++i) values[i] = params_[n_ + i].real();
        return true;
    }

private:
    // After a call in the array form. f holds the vectors in its own
    // parameter records and may have assigned anything to them: a real,
    // another vector, or a vector it let go of. What counts is what those
    // records hold now, not the records the library handed in.
    bool read_array_results(double* values) {
        const RealArray* xa = vector_of_n(params_[0]);
        const RealArray* ya = vector_of_n(params_[1]);
        if (xa == nullptr || ya == nullptr) return false;
        std::memcpy(values, ya->data, bytes());
        // The next point goes into the library's own xa. Where f kept it as
        // its parameter, the lookup just made found it; otherwise it is looked
        // up on its own, since f may have let go of it.
        if (params_[0].word1 != xa_.word1) xa = vector_of_n(xa_);
        if (xa == nullptr) return false;
        xa_data_ = xa->data;
        return true;
    }
    const RealArray* vector_of_n(const HostValue& v) const {
        const RealArray* a = lookup_array(v);
        return a != nullptr && a->count == n_ ? a : nullptr;
    }
    // The records live in this object, which lives in netn's frame until the
    // call returns. That is all the host needs: FunSaveObj takes the array
    // out of the record and keeps it with the call's context, and f receives
    // copies of the records in its own parameters.
    bool make_vector(HostValue* record, HostValue* args, void* ctx) {
        const int64_t sizes[1] = {n_};
        RealArray* v = new_array_shaped(sizes);
        if (v == nullptr) return false;
        tag_array(record, v);
        save_array(ctx, record, args);
        if (record == &xa_) xa_data_ = v->data;
        return true;
    }
    void call() {
        HostValue buffer;
        host().QeCal(&buffer, handle_, params_);
    }
    size_t bytes() const { return static_cast<size_t>(n_) * sizeof(double); }

    void* handle_;
    HostValue* params_;  // f's own parameter records
    int64_t n_;
    HostValue xa_ = make_empty();
    HostValue ya_ = make_empty();
    double* xa_data_ = nullptr;
};

// How the iteration ends.
struct Outcome {
    int64_t result = 0;
    int64_t failure = 0;      // a code to report first, when not 0
    bool write_back = false;  // the point goes back into x
    bool empty = false;       // the result is the empty value rather than `result`
};

Outcome converged(int64_t updates) { return Outcome{.result = updates, .write_back = true}; }
Outcome limit_reached() { return Outcome{.result = 0, .write_back = true}; }
Outcome stopped(int64_t result) { return Outcome{.result = result}; }
Outcome failed(int64_t code, int64_t result) { return Outcome{.result = result, .failure = code}; }
Outcome failed_empty(int64_t code) { return Outcome{.failure = code, .empty = true}; }

// The working storage of one call: the point, f's values, the matrix of
// displaced values and the right-hand side, in one block.
class Iteration {
public:
    Iteration(System& f, int64_t n, double* block) : f_(f), n_(n), x_(block), fx_(block + n) {
        a_ = fx_ + n;
        b_ = a_ + n * n;
    }
    // Doubles in the block, or false when the count would overflow.
    static bool block_size(int64_t n, int64_t* cells) { return checked_mul(n, n + 3, cells); }
    double* point() { return x_; }

    Outcome run(Settings s) {
        int64_t left = s.k;
        for (;;) {
            if (run_error_pending()) return converged(s.k - left);
            if (!f_.evaluate(x_, b_)) return failed(kCodeArrayLost, 0);
            double largest = 0.0;
            for (int64_t i = 0; i < n_; ++i) {
                if (std::isnan(b_[i])) return failed_empty(kCodeNotANumber);
                if (std::fabs(b_[i]) > largest) largest = std::fabs(b_[i]);
            }
            if (largest < s.eps) return converged(s.k - left);
            if (--left == 0) return limit_reached();
            if (!displaced_values(s.h)) return failed(kCodeArrayLost, 0);
            switch (solve_full_pivoting(a_, b_, n_)) {
                case SolveResult::kSolved: break;
                case SolveResult::kSingular: return stopped(kResultSingular);
                case SolveResult::kNoMemory: return failed(kCodeNoMemory, kResultSingular);
            }
            double sum = 0.0;
            for (int64_t i = 0; i < n_; ++i) sum = sum + b_[i];
            const double beta = 1.0 - sum;
            if (std::fabs(beta) + 1.0 == 1.0) return stopped(kResultBetaNegligible);
            const double scale = s.h / beta;
            for (int64_t i = 0; i < n_; ++i) x_[i] = x_[i] - scale * b_[i];
            s.h = s.t * s.h;
        }
    }

private:
    // Column j of A holds f at the point moved by h along axis j.
    bool displaced_values(double h) {
        for (int64_t j = 0; j < n_; ++j) {
            if (!f_.evaluate(x_, fx_, j, x_[j] + h)) return false;
            for (int64_t i = 0; i < n_; ++i) a_[i * n_ + j] = fx_[i];
        }
        return true;
    }

    System& f_;
    int64_t n_;
    double* x_;
    double* fx_;
    double* a_;
    double* b_;
};

// The point goes back into x, which must still be there after the calls of f.
bool write_back(const HostValue& x_arg, const double* point, int64_t n) {
    RealArray* x = lookup_array(x_arg);
    if (x == nullptr || x->count < n) return false;
    if (n > 0) std::memcpy(x->data, point, static_cast<size_t>(n) * sizeof(double));
    return true;
}

}  // namespace

HostValue* netn(HostValue* result, int64_t last_index, HostValue* args, void* ctx) {
    write_empty(result);
    if (run_error_pending()) return result;
    if (last_index < 1 || last_index > 5) return fail(result, kName, kCodeArgumentCount, ctx);
    const std::span<const HostValue> arguments(args, static_cast<size_t>(last_index + 1));

    ResolvedFunction fn;
    if (!resolve_function(args[0], &fn)) return fail(result, kName, kCodeNotAFunction, ctx);
    if (fn.last_param <= 0 || fn.last_param % 2 == 0) return fail(result, kName, kCodeOddParameters, ctx);
    const RealArray* x = array_arg(args[1]);
    if (x == nullptr) return fail(result, kName, kCodeNotAnArray, ctx);

    const bool array_form = fn.last_param == 1;
    const int64_t n = array_form ? x->count : (int64_t{fn.last_param} + 1) / 2;
    System f(fn.handle, fn.params, n);
    if (array_form) {
        if (!f.make_vectors(args, ctx)) return fail(result, kName, kCodeNoMemory, ctx);
    } else if (x->count < n) {
        return fail(result, kName, kCodeStartTooShort, ctx);
    }
    Settings settings;
    if (!read_settings(arguments, &settings)) return fail(result, kName, kCodeBadSetting, ctx);

    int64_t cells = 0;
    if (!Iteration::block_size(n, &cells)) return fail(result, kName, kCodeNoMemory, ctx);
    Scratch<double> block(cells);
    if (!block.ok()) return fail(result, kName, kCodeNoMemory, ctx);
    Iteration iteration(f, n, block.get());
    if (n > 0) std::memcpy(iteration.point(), x->data, static_cast<size_t>(n) * sizeof(double));

    Outcome out = iteration.run(settings);
    if (out.write_back && !write_back(args[1], iteration.point(), n)) out = failed(kCodeArrayLost, 0);
    if (out.failure != 0) {
        report(kName, out.failure, ctx);
        if (out.empty) return result;
    }
    return write_integer(result, out.result);
}

}  // namespace hostmath
