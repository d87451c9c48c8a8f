// SPDX-License-Identifier: GPL-3.0-or-later
// The operator dispatcher: the one entry through which the host applies its
// operators and built-in functions to values that carry the private key.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

HostValue* dispatch_operator(HostValue* result, int64_t last_index, HostValue* operands, void* ctx,
                             int32_t code);

}  // namespace hostmath
