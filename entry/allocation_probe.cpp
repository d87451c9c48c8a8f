// SPDX-License-Identifier: GPL-3.0-or-later
#include "entry/allocation_probe.h"

#ifdef HOSTMATH_FAULT_INJECTION

#include "entry/platform.h"
#include "kernels/allocation.h"

namespace hostmath {

namespace {

// Exported by a test host only; the real host has none, and then every
// allocation is permitted.
constexpr const char* kProbeName = "InjectAllocationFailure";

}  // namespace

void bind_allocation_probe(void* module) {
    void* probe = module != nullptr ? platform::find_symbol(module, kProbeName) : nullptr;
    set_allocation_probe(reinterpret_cast<AllocationProbe>(probe));
}

}  // namespace hostmath

#endif
