// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/allocation.h"

#ifdef HOSTMATH_FAULT_INJECTION

#include "elementary/accurate.h"

namespace hostmath {

namespace {
AllocationProbe g_probe = nullptr;
}  // namespace

// The accurate path's heap requests (none while its arenas suffice) ask the
// gate too.
void set_allocation_probe(AllocationProbe probe) {
    g_probe = probe;
    elementary::set_heap_gate(probe == nullptr ? nullptr : allocation_permitted);
}

bool allocation_permitted() { return g_probe == nullptr || g_probe() == 0; }

}  // namespace hostmath

#endif
