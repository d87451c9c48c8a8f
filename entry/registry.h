// SPDX-License-Identifier: GPL-3.0-or-later
// The tables that load registers and unload deletes.
#pragma once

#include <array>
#include <cstdint>

#include "host/host_abi.h"

namespace hostmath {

// Parameter-count codes handed to SetFunction.
inline constexpr int32_t kAnyArgs = -2;  // the function checks its own count
// N >= 0 means exactly N + 1 arguments.

struct FunctionEntry {
    const HostChar* name;
    ScriptFn fn;  // null while the function is not built: the row is skipped
    int32_t param_code;
};

struct ConstantEntry {
    const HostChar* name;
    int32_t value;
};

inline constexpr size_t kFunctionCount = 83;
inline constexpr size_t kConstantCount = 38;

// Registration order is part of the interface: the host sees the keys in
// this order, and unload deletes them in it.
extern const std::array<FunctionEntry, kFunctionCount> kFunctionTable;
extern const std::array<ConstantEntry, kConstantCount> kConstantTable;

}  // namespace hostmath
