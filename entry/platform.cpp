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

void show_message(const HostChar* text, const HostChar* caption, bool /*owned_by_focus*/) {
    std::fprintf(stderr, "%s: %s\n", hosttext::to_utf8(caption).c_str(), hosttext::to_utf8(text).c_str());
}

#endif

}  // namespace hostmath::platform
