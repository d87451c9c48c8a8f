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

// How bytes decode into a program. The structured edition adds arrays and
// script functions that random values almost never build (matrices that
// mix scales, prime lengths, NaN over a stretch, f unbounded below); the
// first edition stays, so that the inputs found with it (fuzz/corpus,
// fuzz/regressions) go on decoding to the programs they were found as.
enum class Edition { kFirst, kStructured };

struct Options {
    Edition edition = Edition::kFirst;
    // Seconds of processor time a top-level call may take; 0 for no limit.
    // Every input a program makes is far below a megabyte, so a call that
    // takes longer does work its size does not explain.
    double call_budget_seconds = 0.0;
};

// Runs the program the bytes decode to on a host with the library loaded,
// then checks what must hold after any call: every array made was handed
// back exactly once, every call carried the host's context, every result
// record was written, every array a result names is one the host knows, and
// no call ran past the budget. Returns a description of the first breach,
// or an empty string. The host's values are cleared before the program
// runs; its keys stay.
std::string run_program(hostsim::Host& host, std::span<const uint8_t> bytes, const Options& options = {});

}  // namespace callfuzz
