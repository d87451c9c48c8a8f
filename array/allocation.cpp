// SPDX-License-Identifier: GPL-3.0-or-later
#include "array/allocation.h"

#ifdef HOSTMATH_FAULT_INJECTION

#include <cstdint>

#include "entry/platform.h"

namespace hostmath {

namespace {

// Exported by a test host only; the real host has none, and then every
// allocation is permitted.
constexpr const char* kProbeName = "InjectAllocationFailure";
using FaultProbe = int32_t (*)();
FaultProbe g_probe = nullptr;

}  // namespace

void bind_allocation_probe(void* module) {
    g_probe = module != nullptr ? reinterpret_cast<FaultProbe>(platform::find_symbol(module, kProbeName)) : nullptr;
}

bool allocation_permitted() { return g_probe == nullptr || g_probe() == 0; }

}  // namespace hostmath

#endif
