// The library loaded through the stand-in host for the whole run of a
// benchmark that calls it as the host does, and unloaded at the end.
#pragma once

#include <gsl/gsl_errno.h>

#include <cstdio>

#include "hostsim/hostsim.h"

class HostedLibrary {
public:
    HostedLibrary() : host_(hostsim::Host::get()) {
        loaded_ = host_.open() && host_.load() == 1;
        if (!loaded_) std::fprintf(stderr, "cannot load %s\n", hostsim::Host::default_library_path().c_str());
        // The library switched GSL's error handler off in the library's copy
        // of GSL; the benchmark's direct calls need the same.
        gsl_set_error_handler_off();
    }
    ~HostedLibrary() {
        if (loaded_) host_.unload();
        host_.close();
    }
    HostedLibrary(const HostedLibrary&) = delete;
    HostedLibrary& operator=(const HostedLibrary&) = delete;

    bool loaded() const { return loaded_; }
    hostsim::Host& host() { return host_; }

private:
    hostsim::Host& host_;
    bool loaded_ = false;
};
