#include "examples/tour.h"

void tour_quadrature(hostsim::Host&) {}
