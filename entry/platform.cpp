// SPDX-License-Identifier: GPL-3.0-or-later
#include "entry/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include <cstdio>

#include "host/text.h"
#endif

namespace hostmath::platform {

#ifdef _WIN32

// Host strings are UTF-16 on every system; Windows' wide strings are the same units.
static_assert(sizeof(wchar_t) == sizeof(HostChar));

void* find_symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void show_message(const HostChar* text, const HostChar* caption, bool owned_by_focus) {
    HWND owner = owned_by_focus ? GetFocus() : nullptr;
    MessageBoxW(owner, reinterpret_cast<const wchar_t*>(text), reinterpret_cast<const wchar_t*>(caption),
                MB_OK | MB_ICONINFORMATION);
}

#else

void* find_symbol(void* module, const char* name) { return dlsym(module, name); }

namespace {

// UTF-8 to stderr through a small buffer on the stack. A refused registration
// is reported during the load, which must not fail or throw for want of memory.
class StderrWriter {
public:
    ~StderrWriter() { flush(); }
    void put(std::u16string_view text) {
        hosttext::encode_utf8(text, [this](char byte) {
            if (used_ == sizeof(buffer_)) flush();
            buffer_[used_++] = byte;
        });
    }

private:
    void flush() {
        std::fwrite(buffer_, 1, used_, stderr);
        used_ = 0;
    }
    char buffer_[128];
    size_t used_ = 0;
};

}  // namespace

void show_message(const HostChar* text, const HostChar* caption, bool /*owned_by_focus*/) {
    StderrWriter out;
    out.put(caption);
    out.put(u": ");
    out.put(text);
    out.put(u"\n");
}

#endif

}  // namespace hostmath::platform
