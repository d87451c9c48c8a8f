// SPDX-License-Identifier: GPL-3.0-or-later
// The library's side of the host interface: the entry points bound at load
// and the private type key. Both are process-wide, written only by load and
// unload, and read on the host's thread by everything else.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

extern HostApi g_host;
extern int32_t g_private_key;

inline const HostApi& host() { return g_host; }
inline int32_t private_key() { return g_private_key; }

}  // namespace hostmath
