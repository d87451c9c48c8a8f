// The tour: one section per part of the library, each a function of its own file.
#pragma once

#include "hostsim/hostsim.h"

void tour_arrays(hostsim::Host& host);
void tour_subarrays(hostsim::Host& host);
// Prints an array through math::outa, as a script would.
void print_array(hostsim::Host& host, const char* title, HostValue a, int64_t precision = 6);
void tour_quadrature(hostsim::Host& host);
