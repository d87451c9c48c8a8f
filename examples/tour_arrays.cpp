#include "examples/tour.h"

void tour_arrays(hostsim::Host&) {}
