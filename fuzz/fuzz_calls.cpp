// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: every input is a short program of calls into the loaded
// library through the stand-in host (fuzz/call_program.h). A breach of the
// call invariants aborts, like a sanitizer report, so it counts as a finding.
#include <cstdio>
#include <cstdlib>

#include "fuzz/call_program.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hostsim::Host& host = hostsim::Host::get();
    host.reset();
    if (!host.open() || host.load() != 1) {
        std::fprintf(stderr, "cannot load %s\n", hostsim::Host::default_library_path().c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string breach = callfuzz::run_program(
        hostsim::Host::get(), {data, size},
        callfuzz::Options{.edition = callfuzz::Edition::kStructured, .call_budget_seconds = 1.0});
    if (!breach.empty()) {
        std::fprintf(stderr, "call invariant broken: %s\n", breach.c_str());
        std::abort();
    }
    return 0;
}
