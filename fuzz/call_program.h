// SPDX-License-Identifier: GPL-3.0-or-later
// Turns arbitrary bytes into a short program of calls through the stand-in
// host: registered functions (enumerated from the host's key table at run
// time, so functions added later are covered without a change here) and
// operator codes, with argument values of every kind the host can hand over,
// including malformed ones. Shared by the libFuzzer target and the tests
// that replay its corpus and its findings.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "hostsim/hostsim.h"

namespace callfuzz {

// Runs the program the bytes decode to on a host with the library loaded,
// then checks what must hold after any call: every array made was handed
// back exactly once, every call carried the host's context, every result
// record was written, and every array a result names is one the host knows.
// Returns a description of the first breach, or an empty string. The host's
// values are cleared before the program runs; its keys stay.
std::string run_program(hostsim::Host& host, std::span<const uint8_t> bytes);

}  // namespace callfuzz
