#include "entry/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include <cstdio>
#include <string>
#endif

namespace hostmath::platform {

#ifdef _WIN32

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

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(const HostChar* s) {
    std::string out;
    for (; *s != 0; ++s) {
        char32_t c = *s;
        if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
            ++s;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        append_utf8(out, c);
    }
    return out;
}

}  // namespace

void show_message(const HostChar* text, const HostChar* caption, bool /*owned_by_focus*/) {
    std::fprintf(stderr, "%s: %s\n", to_utf8(caption).c_str(), to_utf8(text).c_str());
}

#endif

}  // namespace hostmath::platform
