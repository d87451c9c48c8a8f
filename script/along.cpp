// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/along.h"

#include "kernels/scratch.h"

namespace hostmath {

namespace {

// The working memory a kernel asks for, none when it asks for none (so
// that a kernel without any makes no allocation that could fail).
class Work {
public:
    Work(const RunKernel& kernel, const Runs& runs) {
        const int64_t size = kernel.work_size == nullptr ? 0 : kernel.work_size(runs);
        if (size > 0) memory_ = Scratch<double>(size);
        ok_ = size == 0 || memory_.ok();
    }
    bool ok() const { return ok_; }
    double* get() { return memory_.get(); }

private:
    Scratch<double> memory_;
    bool ok_ = false;
};

bool read_dimension(const RealArray& a, const HostValue* k, int64_t* out) {
    if (k == nullptr) {
        *out = a.ndims;
        return true;
    }
    if (!is_integer(*k)) return false;
    *out = k->integer();
    return true;
}

// The runs of an array whose runs the sizes describe; none of any element
// when it has no elements, so that no loop runs by its sizes alone (a 0 x
// 2^32 array along its second dimension would otherwise walk 2^32 empty rows).
Runs runs_of(const RealArray& a, int64_t k, int64_t values) {
    return a.count == 0 ? Runs{values, 0, 1} : runs_along(a, k);
}

// The sizes of a result with one value per run along k.
int64_t reduced_sizes(const RealArray& a, int64_t k, int64_t* sizes) {
    if (a.ndims == 2) {
        sizes[0] = k == 1 ? 1 : a.dims[0];
        sizes[1] = k == 2 ? 1 : a.dims[1];
        return 2;
    }
    int64_t n = 0;
    for (int64_t d = 0; d < a.ndims; ++d) {
        if (d != k - 1) sizes[n++] = a.dims[d];
    }
    return n;
}

HostValue* fail_call(const AlongCall& call, int64_t code) { return fail(call.result, call.key, code, call.ctx); }

// The working memory, then the result from `make`, made last so that
// nothing can fail once it exists, then the kernel's work into it.
template <class Make>
HostValue* run_into_new(const AlongCall& call, const RealArray& a, const Runs& runs, const RunKernel& kernel,
                        double parameter, Make make) {
    Work work(kernel, runs);
    if (!work.ok()) return fail_call(call, call.no_memory_code);
    RealArray* out = make();
    if (out == nullptr) return fail_call(call, call.no_memory_code);
    kernel.run(a.data, runs, parameter, work.get(), out->data);
    return return_new_array(call.result, out, call.ctx);
}

}  // namespace

bool works_on_everything(const RealArray& a, int64_t k) {
    if (k < 1 || k > a.ndims || a.ndims == 1) return true;
    return a.ndims == 2 && (a.dims[0] == 1 || a.dims[1] == 1);
}

Runs runs_along(const RealArray& a, int64_t k) {
    Runs r{1, a.dims[k - 1], 1};
    for (int64_t d = 0; d < k - 1; ++d) r.outer *= a.dims[d];
    for (int64_t d = k; d < a.ndims; ++d) r.inner *= a.dims[d];
    return r;
}

HostValue* reduce_along(const AlongCall& call, const RealArray& a, const HostValue* k_arg, const RunKernel& kernel,
                        double parameter) {
    int64_t k = 0;
    if (!read_dimension(a, k_arg, &k)) return fail_call(call, kAlongCodeDimension);
    if (works_on_everything(a, k)) {
        const Runs runs = one_run(a.count);
        Work work(kernel, runs);
        if (!work.ok()) return fail_call(call, call.no_memory_code);
        double total = 0.0;
        kernel.run(a.data, runs, parameter, work.get(), &total);
        return write_real(call.result, total);
    }
    // Sizes that disagree with the element count would lead the runs outside it.
    if (!has_consistent_shape(a)) return fail_call(call, kAlongCodeNotAnArray);
    Scratch<int64_t> sizes(a.ndims);
    if (!sizes.ok()) return fail_call(call, call.no_memory_code);
    const std::span<const int64_t> shape{sizes.get(), static_cast<size_t>(reduced_sizes(a, k, sizes.get()))};
    int64_t values = 0;
    if (!checked_product(shape, &values)) return fail_call(call, call.no_memory_code);
    return run_into_new(call, a, runs_of(a, k, values), kernel, parameter, [&] { return new_array_shaped(shape); });
}

HostValue* transform_along(const AlongCall& call, const RealArray& a, const HostValue* k_arg, const RunKernel& kernel,
                           double parameter) {
    int64_t k = 0;
    if (!read_dimension(a, k_arg, &k)) return fail_call(call, kAlongCodeDimension);
    // The result takes a's sizes, so they must describe its elements.
    if (!has_consistent_shape(a)) return fail_call(call, kAlongCodeNotAnArray);
    const Runs runs = works_on_everything(a, k) ? one_run(a.count) : runs_of(a, k, 0);
    return run_into_new(call, a, runs, kernel, parameter, [&] { return new_array_like(a); });
}

}  // namespace hostmath
