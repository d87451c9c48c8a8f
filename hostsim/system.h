// SPDX-License-Identifier: GPL-3.0-or-later
// What the stand-in host and the tests need from the operating system:
// opening a shared library and finding its exports, and watching the
// messages the library shows. The only place where Linux and Windows differ.
#pragma once

#include <string>

namespace hostsim::system {

// Opens the library at `path` (UTF-8); null when it cannot be opened.
void* open_library(const std::string& path);
void close_library(void* library);
// The address `name` exported by `library`, or null.
void* find_symbol(void* library, const char* name);
// Why the last open_library failed.
std::string last_error();

// The module whose exports are hostsim's entry points: what the host hands
// the library on load.
void* host_module();

// Collects the messages the library shows while it lives, as "caption: text"
// lines. On Windows these are message boxes of this
// thread, each dismissed as it opens; elsewhere the lines on standard error.
class ShownMessages {
public:
    ShownMessages();
    ~ShownMessages();
    ShownMessages(const ShownMessages&) = delete;
    ShownMessages& operator=(const ShownMessages&) = delete;
    // Everything collected so far.
    std::string lines() const;

private:
    void* state_;
};

}  // namespace hostsim::system
