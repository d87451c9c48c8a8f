// SPDX-License-Identifier: GPL-3.0-or-later
#include "optim/search.h"

namespace hostmath::optim {

HostValue* deliver_vector(HostValue* result, const HostChar* name, const VectorOutcome& out, void* ctx) {
    if (out.interrupted) return result;
    if (out.refusal != 0) return fail(result, name, out.refusal, ctx);
    const int64_t n = static_cast<int64_t>(out.x->size);
    RealArray* x = new_array_shaped(std::span<const int64_t>(&n, 1));
    if (x == nullptr) return fail(result, name, kCodeNoMemory, ctx);
    for (size_t i = 0; i < out.x->size; ++i) x->data[i] = gsl_vector_get(out.x.get(), i);
    // GSL's failure and an exhausted budget still deliver the current estimate.
    if (out.status != GSL_SUCCESS) report_kind(kKindGslStatus, name, out.status, ctx);
    if (out.budget_spent) report_kind(kKindSoftStop, name, kCodeMaxIterations, ctx);
    return return_new_array(result, x, ctx);
}

}  // namespace hostmath::optim
