// SPDX-License-Identifier: GPL-3.0-or-later
// The tour: one section per part of the library, each a function of its own file.
#pragma once

#include "hostsim/hostsim.h"

void tour_arrays(hostsim::Host& host);
void tour_subarrays(hostsim::Host& host);
void tour_quadrature(hostsim::Host& host);
void tour_roots(hostsim::Host& host);
void tour_inverse(hostsim::Host& host);
void tour_ode(hostsim::Host& host);

// Prints an array the way a script would, through math::outa.
void print_array(hostsim::Host& host, const char* title, HostValue a, int64_t precision = 6, bool labels = false);
