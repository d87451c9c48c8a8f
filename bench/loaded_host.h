// SPDX-License-Identifier: GPL-3.0-or-later
// The stand-in host with the library loaded, for benchmarks that call the
// library as the host does. New arrays are left unfilled (as a real host
// leaves them) and may hold up to `max_elements`.
#pragma once

#include <gsl/gsl_errno.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hostsim/hostsim.h"

// Loads the library once per process; with `threads` > 0, (re)loads it so
// that it reads HOSTMATH_THREADS = threads at load.
inline hostsim::Host& loaded_host(int64_t max_elements, int threads = 0) {
    static int loaded_for = 0;
    hostsim::Host& host = hostsim::Host::get();
    if (threads > 0 && loaded_for != threads && host.is_open()) {
        host.unload();
        host.close();
    }
    if (!host.is_open()) {
        if (threads > 0) {
            loaded_for = threads;
            hostsim::set_environment("HOSTMATH_THREADS", std::to_string(threads));
        }
        host.reset();
        if (!host.open() || host.load() != 1) {
            std::fprintf(stderr, "cannot load %s\n", hostsim::Host::default_library_path().c_str());
            std::exit(1);
        }
        host.set_new_array_fill(std::nullopt);
        host.set_max_elements(max_elements);
    }
    return host;
}

// Unloads the library at the end of a benchmark process.
inline void unload_host() {
    hostsim::Host& host = hostsim::Host::get();
    if (host.is_open()) {
        host.unload();
        host.close();
    }
}

// The library loaded for the whole of a benchmark's main(), and unloaded at
// its end. The library switches GSL's error handler off in its own copy of
// GSL; benchmarks that also call GSL directly need the same in theirs.
class HostedLibrary {
public:
    explicit HostedLibrary(int64_t max_elements = int64_t{1} << 28) : host_(loaded_host(max_elements)) {
        gsl_set_error_handler_off();
    }
    ~HostedLibrary() { unload_host(); }
    HostedLibrary(const HostedLibrary&) = delete;
    HostedLibrary& operator=(const HostedLibrary&) = delete;

    hostsim::Host& host() { return host_; }

private:
    hostsim::Host& host_;
};
