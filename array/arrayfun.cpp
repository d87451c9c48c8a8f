// math::arrayfun: a script function applied element by element.
//
// The function is resolved once per call; its parameter count decides how
// many input arrays follow it, and one array more is the output. The loop
// then writes element j of every input into the function's own parameter
// records, calls the host once and reads one record back: no allocation,
// lookup or check per element beyond that call.
#include <bit>
#include <cstdint>

#include "array/math_array.h"
#include "array/scratch.h"
#include "entry/script_functions.h"

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

// Calls f once per element, j ascending; false at the first value that is
// no real, with the elements before it written.
bool map_elements(const Resolved& f, const double* const* inputs, double* out, int64_t n) {
    for (int64_t j = 0; j < n; ++j) {
        for (int64_t q = 0; q < f.count; ++q) {
            HostValue& param = f.params[q];
            param.word1 = std::bit_cast<uint64_t>(inputs[q][j]);
            param.ext_type = kTypeReal;
            param.base_type = kTypeReal;
        }
        HostValue buffer;
        const HostValue* returned = host().QeCal(&buffer, f.handle, f.params);
        if (returned->base_type != kTypeReal) return false;
        out[j] = std::bit_cast<double>(returned->word1);
    }
    return true;
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
    Scratch<const double*> inputs(f.count);
    if (!inputs.ok()) {
        report(kArrayfunKey, kNoMemory, ctx);
        return result;
    }
    for (int64_t q = 0; q < f.count; ++q) inputs[static_cast<size_t>(q)] = lookup_array(args[q + 1])->data;
    if (!map_elements(f, inputs.get(), out->data, n)) report(kArrayfunKey, kNotReal, ctx);
    return result;
}

}  // namespace hostmath
