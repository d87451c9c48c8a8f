// SPDX-License-Identifier: GPL-3.0-or-later
// The library's one export: load binds the host, locks the private key and
// registers every key; unload deletes exactly the keys the host accepted.
#include <gsl/gsl_errno.h>

#include <array>
#include <cstring>

#include "entry/allocation_probe.h"
#include "entry/dispatch.h"
#include "entry/platform.h"
#include "entry/registry.h"
#include "host/binding.h"
#include "kernels/parallel.h"
#include "special/random_stream.h"

namespace hostmath {

namespace {
constexpr int32_t kFirstPrivateKey = -12345;
constexpr int32_t kLowestPrivateKey = -10000000;
}  // namespace

HostApi g_host{};
int32_t g_private_key = kFirstPrivateKey;

namespace {

// Every key the library builds lives in this one buffer: the prefix and a
// name of at most kMaxNameChars characters.
constexpr HostChar kPrefix[] = u"math::";
constexpr size_t kPrefixChars = 6;
constexpr size_t kNameLimit = 24;  // wide characters, terminator included
HostChar g_key_buffer[kPrefixChars + kNameLimit];

std::array<uint8_t, kFunctionCount> g_function_accepted{};
std::array<uint8_t, kConstantCount> g_constant_accepted{};
bool g_loaded = false;

struct Key {
    const HostChar* text;
    size_t chars;
    int64_t bytes() const { return static_cast<int64_t>(2 * chars); }
};

Key build_key(const HostChar* name) {
    std::memcpy(g_key_buffer, kPrefix, kPrefixChars * sizeof(HostChar));
    size_t n = 0;
    while (n + 1 < kNameLimit && name[n] != 0) {
        g_key_buffer[kPrefixChars + n] = name[n];
        ++n;
    }
    g_key_buffer[kPrefixChars + n] = 0;
    return {g_key_buffer, kPrefixChars + n};
}

void empty_callback(void*) {}

// Looks up all 17 entry points in order; commits them only if every one is there.
bool bind_host(void* module) {
    HostApi bound{};
    auto* slots = reinterpret_cast<void**>(&bound);
    for (int i = 0; i < kHostEntryPointCount; ++i) {
        slots[i] = platform::find_symbol(module, kHostEntryPointNames[i]);
        if (slots[i] == nullptr) return false;
    }
    g_host = bound;
    return true;
}

// Tries the private key, then each lower one, until the host accepts one.
// A load starts from the key the last load locked; after a search that found
// none, the key lies below the lowest one and the search starts afresh.
bool lock_private_key() {
    if (g_private_key < kLowestPrivateKey) g_private_key = kFirstPrivateKey;
    while (g_host.LockKey(g_private_key, empty_callback, dispatch_operator) != 0) {
        --g_private_key;
        if (g_private_key < kLowestPrivateKey) return false;
    }
    return true;
}

void register_functions() {
    for (size_t i = 0; i < kFunctionTable.size(); ++i) {
        const FunctionEntry& e = kFunctionTable[i];
        g_function_accepted[i] = 0;
        if (e.fn == nullptr) continue;
        Key key = build_key(e.name);
        if (g_host.SetFunction(key.text, e.fn, e.param_code) == 0) {
            g_function_accepted[i] = 1;
        } else {
            platform::show_message(key.text, u"math 注册函数失败！", true);
        }
    }
}

void register_constants() {
    HostValue pi = make_real(3.141592653589793);
    g_host.SetConst(build_key(u"pi").text, &pi);
    HostValue real_s = make_integer(g_private_key);
    g_host.SetConst(build_key(u"real_s").text, &real_s);

    for (size_t i = 0; i < kConstantTable.size(); ++i) {
        const ConstantEntry& e = kConstantTable[i];
        Key key = build_key(e.name);
        HostValue value = make_integer(e.value);
        g_constant_accepted[i] = g_host.SetConst(key.text, &value) == 0 ? 1 : 0;
        if (!g_constant_accepted[i]) platform::show_message(key.text, u"math 注册常量失败！", false);
    }
}

void delete_key(const HostChar* name, int32_t kind) {
    Key key = build_key(name);
    g_host.DeleteKey(key.text, key.bytes(), kind, nullptr, nullptr);
}

int32_t load(void* module) {
    if (!bind_host(module)) return 0;
    if (!lock_private_key()) return 0;
    bind_allocation_probe(module);
    register_functions();
    register_constants();
    gsl_set_error_handler_off();
    parallel::configure_from_environment();
    special::open_random_stream();
    g_loaded = true;
    return 1;
}

int32_t unload() {
    // Nothing was locked or registered by a failed load: there is nothing to
    // delete, and the entry points may not even be bound.
    if (!g_loaded) return 1;
    for (size_t i = 0; i < kFunctionTable.size(); ++i) {
        if (g_function_accepted[i]) delete_key(kFunctionTable[i].name, kKeyFunction);
    }
    for (size_t i = 0; i < kConstantTable.size(); ++i) {
        if (g_constant_accepted[i]) delete_key(kConstantTable[i].name, kKeyConstant);
    }
    delete_key(u"real_s", kKeyConstant);
    delete_key(u"pi", kKeyConstant);
    g_host.LockKey(g_private_key, nullptr, dispatch_operator);
    special::close_random_stream();
    bind_allocation_probe(nullptr);
    g_loaded = false;
    return 1;
}

}  // namespace
}  // namespace hostmath

#ifdef _WIN32
#define HOSTMATH_EXPORT __declspec(dllexport)
#else
#define HOSTMATH_EXPORT __attribute__((visibility("default")))
#endif

extern "C" HOSTMATH_EXPORT int32_t QeDll64(void* host_module, int32_t flag) {
    return flag != 0 ? hostmath::load(host_module) : hostmath::unload();
}
