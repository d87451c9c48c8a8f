// SPDX-License-Identifier: GPL-3.0-or-later
// The allocation gate's probe (kernels/allocation.h), looked up in the host
// module at load: a test host exports one to fail chosen allocations.
#pragma once

namespace hostmath {

#ifdef HOSTMATH_FAULT_INJECTION
// Looks up the host's fault probe in `module` at load; null forgets it at unload.
void bind_allocation_probe(void* module);
#else
inline void bind_allocation_probe(void*) {}
#endif

}  // namespace hostmath
