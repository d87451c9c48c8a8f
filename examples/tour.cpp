// SPDX-License-Identifier: GPL-3.0-or-later
// A tour of the library, driven through the stand-in host exactly as the
// real host drives it: load the library, look at what it registered, call
// its functions and operators, unload it.
#include <cstdio>
#include <string>

#include "examples/tour.h"

namespace {

std::string describe(hostsim::Host& host, const HostValue& v) {
    switch (v.base_type) {
        case kTypeReal: return "real " + script_text(host, v);
        case kTypeInteger: return "integer " + script_text(host, v);
        default: return "type " + std::to_string(v.base_type);
    }
}

void show_keys(hostsim::Host& host) {
    std::printf("Registered %zu functions:\n", host.function_order().size());
    int column = 0;
    for (const std::string& key : host.function_order()) {
        const int32_t code = host.function_key(key)->param_code;
        char label[64];
        if (code < 0) {
            std::snprintf(label, sizeof label, "%s(...)", key.c_str());
        } else {
            std::snprintf(label, sizeof label, "%s(%d args)", key.c_str(), code + 1);
        }
        std::printf("  %-22s%s", label, ++column % 3 == 0 ? "\n" : "");
    }
    if (column % 3 != 0) std::printf("\n");
    std::printf("\nRegistered %zu constants:\n", host.constant_order().size());
    for (const std::string& key : host.constant_order()) {
        std::printf("  %-20s %s\n", key.c_str(), describe(host, *host.constant(key)).c_str());
    }
}

}  // namespace

int main() {
    hostsim::Host& host = hostsim::Host::get();
    if (!host.open()) {
        std::fprintf(stderr, "cannot open %s\n", hostsim::Host::default_library_path().c_str());
        return 1;
    }
    if (host.load() != 1) {
        std::fprintf(stderr, "the library did not load\n");
        return 1;
    }
    std::printf("== hostmath, loaded through the stand-in host with private key %d ==\n\n", *host.locked_key());
    show_keys(host);
    say("From here on every call is printed as a script writes it, with all its arguments,\n"
        "then its result: an array as math::outa prints it (6 significant digits), anything\n"
        "else after \"=\", an output argument as \"name = value\", and each run error it reports\n"
        "after \"!\". 2 is an integer and 2.0 a real; : is the all marker; empty is the empty value.");
    tour_arrays(host);
    tour_subarrays(host);
    tour_inverse(host);
    tour_linalg(host);
    tour_data(host);
    tour_statistics(host);
    tour_quadrature(host);
    tour_ode(host);
    tour_roots(host);
    tour_optim(host);
    tour_special(host);
    host.unload();
    std::printf("\nUnloaded: %zu keys deleted.\n", host.delete_calls().size());
    host.close();
    return 0;
}
