// The tour: one section per part of the library, each a function of its own file.
#pragma once

#include "hostsim/hostsim.h"

void tour_arrays(hostsim::Host& host);
void tour_quadrature(hostsim::Host& host);
void tour_roots(hostsim::Host& host);
