// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostsim/system.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include "host/text.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace hostsim::system {

#ifdef _WIN32

namespace {

std::wstring to_wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string window_text(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return hosttext::to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

struct MessageHook {
    HHOOK hook = nullptr;
    std::string lines;
};
thread_local MessageHook* t_messages = nullptr;

// Sees every message box of the thread once its dialog is ready, reads its
// caption and text (the static control 0xFFFF) and ends it with OK before it
// is shown: an activated window would wait on the other processes' windows.
LRESULT CALLBACK on_window_message(int code, WPARAM wparam, LPARAM lparam) {
    auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && t_messages != nullptr && m->message == WM_INITDIALOG) {
        HWND text = GetDlgItem(m->hwnd, 0xFFFF);
        t_messages->lines += window_text(m->hwnd) + ": " + (text ? window_text(text) : std::string()) + "\n";
        EndDialog(m->hwnd, IDOK);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void* open_library(const std::string& path) { return LoadLibraryW(to_wide(path).c_str()); }

void close_library(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* find_symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string last_error() { return "error " + std::to_string(GetLastError()); }

void* host_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&host_module), &module);
    return module;
}

ShownMessages::ShownMessages() : state_(new MessageHook) {
    auto* m = static_cast<MessageHook*>(state_);
    m->hook = SetWindowsHookExW(WH_CALLWNDPROCRET, on_window_message, nullptr, GetCurrentThreadId());
    t_messages = m;
}

ShownMessages::~ShownMessages() {
    auto* m = static_cast<MessageHook*>(state_);
    if (m->hook != nullptr) UnhookWindowsHookEx(m->hook);
    t_messages = nullptr;
    delete m;
}

std::string ShownMessages::lines() const {
    auto* m = static_cast<MessageHook*>(state_);
    return m->lines;
}

#else

namespace {

// Standard error, redirected to a temporary file while messages are collected.
struct Redirect {
    FILE* file = nullptr;
    int saved_fd = -1;
};

}  // namespace

void* open_library(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void close_library(void* library) { dlclose(library); }

void* find_symbol(void* library, const char* name) { return dlsym(library, name); }

std::string last_error() {
    const char* e = dlerror();
    return e != nullptr ? e : "";
}

// The main program's global scope, where hostsim's exported entry points live.
void* host_module() {
    static void* const self = dlopen(nullptr, RTLD_NOW);
    return self;
}

ShownMessages::ShownMessages() : state_(new Redirect) {
    auto* r = static_cast<Redirect*>(state_);
    std::fflush(stderr);
    r->file = std::tmpfile();
    if (r->file == nullptr) return;
    r->saved_fd = dup(STDERR_FILENO);
    dup2(fileno(r->file), STDERR_FILENO);
}

ShownMessages::~ShownMessages() {
    auto* r = static_cast<Redirect*>(state_);
    if (r->file != nullptr) {
        std::fflush(stderr);
        dup2(r->saved_fd, STDERR_FILENO);
        close(r->saved_fd);
        std::fclose(r->file);
    }
    delete r;
}

std::string ShownMessages::lines() const {
    auto* r = static_cast<Redirect*>(state_);
    if (r->file == nullptr) return {};
    std::fflush(stderr);
    std::string lines;
    std::rewind(r->file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, r->file)) > 0;) lines.append(buffer, n);
    return lines;
}

#endif

}  // namespace hostsim::system
