// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/allocation.h"

#ifdef HOSTMATH_FAULT_INJECTION

namespace hostmath {

namespace {
AllocationProbe g_probe = nullptr;
}  // namespace

void set_allocation_probe(AllocationProbe probe) { g_probe = probe; }

bool allocation_permitted() { return g_probe == nullptr || g_probe() == 0; }

}  // namespace hostmath

#endif
