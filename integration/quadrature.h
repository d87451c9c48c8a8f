// SPDX-License-Identifier: GPL-3.0-or-later
// Quadrature of script functions: the one seam the drivers in
// integration/quadrature.cpp expose beyond their script-function entries.
#pragma once

#include <gsl/gsl_integration.h>

#include <cstddef>

namespace hostmath::quadrature {

// Where the drivers get their integration workspaces. The default is
// gsl_integration_workspace_alloc; tests put an allocator here that fails,
// to exercise the run error a missing workspace reports. Null restores the
// default. The workspace is always released with gsl_integration_workspace_free.
using WorkspaceAllocator = gsl_integration_workspace* (*)(size_t limit);
void set_workspace_allocator(WorkspaceAllocator allocate);

}  // namespace hostmath::quadrature
