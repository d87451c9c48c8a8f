// SPDX-License-Identifier: GPL-3.0-or-later
// The one gate every allocation the library makes for itself passes
// (Scratch buffers, GSL workspaces and solver objects). A normal build always
// lets it through. A build with HOSTMATH_FAULT_INJECTION asks a probe at
// every allocation whether this one is to fail, so that a test host can fail
// the k-th allocation of a call, counted together with its own array
// creations. The probe is the host module's; the entry layer finds it at
// load (entry/allocation_probe.h), so the gate itself knows neither the host
// nor the operating system.
#pragma once

#include <cstdint>
#include <memory>

namespace hostmath {

#ifdef HOSTMATH_FAULT_INJECTION
// Returns nonzero when the allocation being asked about is to fail.
using AllocationProbe = int32_t (*)();
// The probe every later allocation asks; null permits every allocation.
void set_allocation_probe(AllocationProbe probe);
bool allocation_permitted();
#else
inline bool allocation_permitted() { return true; }
#endif

// A C object released by `Free`, owned by one call.
template <auto Free>
struct FreeWith {
    template <class T>
    void operator()(T* p) const {
        Free(p);
    }
};
template <class T, auto Free>
using Owned = std::unique_ptr<T, FreeWith<Free>>;

// `alloc(args...)` through the gate: null when the gate refuses, as when the
// allocator itself fails. With Owned, a GSL object is one line:
//   Owned<gsl_odeiv_step, gsl_odeiv_step_free> step{allocate_gated(gsl_odeiv_step_alloc, type, dim)};
template <class Alloc, class... Args>
auto allocate_gated(Alloc alloc, Args... args) -> decltype(alloc(args...)) {
    if (!allocation_permitted()) return nullptr;
    return alloc(args...);
}

}  // namespace hostmath
