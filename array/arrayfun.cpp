// SPDX-License-Identifier: GPL-3.0-or-later
// math::arrayfun: a script function applied element by element.
//
// The function is resolved once per call; its parameter count decides how
// many input arrays follow it, and one array more is the output. The loop
// then writes element j of every input into the function's own parameter
// records, calls the host once and reads one record back. f runs script
// code that may let go of any array of the call, or replace it: after each
// call the arrays the call still reads or writes are looked up again, and
// one that is gone or no longer has n elements ends the loop (code 8).
#include <bit>
#include <cstdint>

#include "kernels/scratch.h"
#include "script/math_array.h"
#include "script/script_functions.h"

namespace hostmath {

namespace {

constexpr HostChar kArrayfunKey[] = u"math::arrayfun";

enum ArrayfunCode : int64_t {
    kTooFewArguments = 1,
    kNotResolved = 2,
    kArgumentCount = 3,  // neither p + 1 nor p + 2 arguments for a function of p parameters
    kNotAnArray = 4,
    kCountsDiffer = 5,
    kNoMemory = 6,  // the result array or the table of inputs
    kNotReal = 7,   // the function returned something other than a real
    // The function let go of an array of the call, or changed its element
    // count. The documented codes stop at 7; this one follows them and is
    // listed in docs/arrays.md.
    kArrayLost = 8,
};

// A script function as the host resolved it.
struct Resolved {
    void* handle = nullptr;
    HostValue* params = nullptr;  // its own parameter records, which QeCal reads
    int64_t count = 0;            // of parameters
};

// The host's resolution decides what counts as a function: the value's
// type words are not looked at.
bool resolve(const HostValue& f, Resolved* out) {
    void* unused = nullptr;
    int32_t last_param = 0;
    if (host().GetFor(nullptr, 0, static_cast<int64_t>(f.word1), &unused, &out->handle, &out->params,
                      &last_param) == 0) {
        return false;
    }
    out->count = int64_t{last_param} + 1;
    return true;
}

// The element data of the call's arrays: the p inputs, and the output when
// the script gave it (the new array of the other form is out of the script's
// reach until the call returns).
class CallArrays {
public:
    CallArrays(const HostValue* args, int64_t inputs, bool output_given, int64_t n)
        : args_(args), inputs_(inputs), output_given_(output_given), n_(n), data_(inputs) {}
    bool ok() const { return data_.ok(); }
    // Looks every array up (again); false when one is gone or resized.
    bool refresh() {
        for (int64_t q = 0; q < inputs_; ++q) {
            const RealArray* a = of_n(args_[q + 1]);
            if (a == nullptr) return false;
            data_[static_cast<size_t>(q)] = a->data;
        }
        if (output_given_) {
            RealArray* y = of_n(args_[inputs_ + 1]);
            if (y == nullptr) return false;
            output_ = y->data;
        }
        return true;
    }
    double input(int64_t q, int64_t j) const { return data_[static_cast<size_t>(q)][j]; }
    double* output() const { return output_; }
    void set_output(double* out) { output_ = out; }

private:
    RealArray* of_n(const HostValue& v) const {
        RealArray* a = lookup_array(v);
        return a != nullptr && a->count == n_ ? a : nullptr;
    }
    const HostValue* args_;
    int64_t inputs_;
    bool output_given_;
    int64_t n_;
    Scratch<const double*> data_;
    double* output_ = nullptr;
};

// Calls f once per element, j ascending, until the end, a value that is no
// real (code 7) or a lost array (code 8); the elements before stay written.
int64_t map_elements(const Resolved& f, CallArrays& arrays, int64_t n) {
    for (int64_t j = 0; j < n; ++j) {
        for (int64_t q = 0; q < f.count; ++q) {
            HostValue& param = f.params[q];
            param.word1 = std::bit_cast<uint64_t>(arrays.input(q, j));
            param.ext_type = kTypeReal;
            param.base_type = kTypeReal;
        }
        HostValue buffer;
        const HostValue* returned = host().QeCal(&buffer, f.handle, f.params);
        if (returned->base_type != kTypeReal) return kNotReal;
        const double value = std::bit_cast<double>(returned->word1);
        if (!arrays.refresh()) return kArrayLost;
        arrays.output()[j] = value;
    }
    return 0;
}

}  // namespace

HOSTMATH_SCRIPT_FUNCTION(arrayfun) {
    write_empty(result);
    if (run_error_pending()) return result;
    const int64_t nargs = last_index + 1;
    if (nargs < 2) return fail(result, kArrayfunKey, kTooFewArguments, ctx);
    Resolved f;
    if (!resolve(args[0], &f)) return fail(result, kArrayfunKey, kNotResolved, ctx);
    if (nargs != f.count + 1 && nargs != f.count + 2) return fail(result, kArrayfunKey, kArgumentCount, ctx);
    const bool into_output = nargs == f.count + 2;

    // Every array after f, the output included, in argument order.
    RealArray* last = nullptr;
    int64_t n = 0;
    for (int64_t i = 1; i < nargs; ++i) {
        last = lookup_array(args[i]);
        if (last == nullptr) return fail(result, kArrayfunKey, kNotAnArray, ctx);
        if (i == 1) n = last->count;
        if (last->count != n) return fail(result, kArrayfunKey, kCountsDiffer, ctx);
    }

    RealArray* out = last;
    if (into_output) {
        return_argument(result, args[nargs - 1]);
    } else {
        out = new_array(n, 1);
        if (out == nullptr) return fail(result, kArrayfunKey, kNoMemory, ctx);
        out->dims[0] = n;
        return_new_array(result, out, ctx);
    }
    // From here on the result record holds the output, whatever follows.
    CallArrays arrays(args, f.count, into_output, n);
    if (!arrays.ok()) {
        report(kArrayfunKey, kNoMemory, ctx);
        return result;
    }
    arrays.refresh();  // the lookups above found every one of them
    if (!into_output) arrays.set_output(out->data);
    if (const int64_t code = map_elements(f, arrays, n)) report(kArrayfunKey, code, ctx);
    return result;
}

}  // namespace hostmath
