// SPDX-License-Identifier: GPL-3.0-or-later
// ODE integration of script functions: the one seam the driver in
// ode/ode.cpp exposes beyond its script-function entry.
#pragma once

#include <gsl/gsl_odeiv.h>

#include <cstddef>

namespace hostmath::ode {

// Where gsl_ode gets its three GSL objects. The defaults are
// gsl_odeiv_step_alloc, gsl_odeiv_control_y_new and gsl_odeiv_evolve_alloc;
// tests put allocators here that fail, to exercise the run error a missing
// object reports, or that hand out a stepper of their own. A null member
// restores its default. The objects are always released with
// gsl_odeiv_evolve_free, gsl_odeiv_control_free and gsl_odeiv_step_free.
// Every call of an allocator passes the allocation gate (kernels/allocation.h)
// first.
struct GslAllocators {
    gsl_odeiv_step* (*step)(const gsl_odeiv_step_type* type, size_t dim) = nullptr;
    gsl_odeiv_control* (*control)(double epsabs, double epsrel) = nullptr;
    gsl_odeiv_evolve* (*evolve)(size_t dim) = nullptr;
};
void set_gsl_allocators(const GslAllocators& allocators);

}  // namespace hostmath::ode
