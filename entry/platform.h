// SPDX-License-Identifier: GPL-3.0-or-later
// What the library needs from the operating system: finding an exported
// function in the host module, and a modal message box.
#pragma once

#include "host/host_abi.h"

namespace hostmath::platform {

// The address of the function `name` exported by `module`, or null.
void* find_symbol(void* module, const char* name);

// A modal information box with a single OK button. With `owned_by_focus`,
// the window that has the keyboard focus owns it. Where there is no window
// system, the caption and the text go to standard error as one line.
void show_message(const HostChar* text, const HostChar* caption, bool owned_by_focus);

}  // namespace hostmath::platform
