// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate path: MPFR at a 53-bit target, rounded once to binary64.
//
// Memory. MPFR and GMP take all their heap memory through GMP's memory
// functions, and GMP's default ones end the process when the allocator
// fails; the host's process must never end because of the library. So the
// library links copies of GMP and MPFR of its own, statically, their symbols
// hidden (cmake/bound-gsl.cmake), and sets its copy's memory functions (once,
// at the first evaluation) without touching any other user of GMP in the
// host's process. Those functions serve every request made during an
// evaluation from an arena in static storage, never from the heap:
//
// - Each thread that evaluates claims an arena of its own (kArenaBytes of
//   static storage; kAccurateArenas of them) and keeps it until it ends
//   (release_thread_caches, which the library's worker threads call). On
//   its first use the arena is warmed: pi to kWarmPi and log 2 to kWarmLog2
//   bits are computed into MPFR's per-thread constant caches, more than any
//   evaluation asks for, so that no later evaluation grows them. The caches
//   then lie at the low end of the arena, below its mark. An evaluation
//   takes its memory upwards from the mark (the newest block grows, shrinks
//   and is freed in place); at its end MPFR's pool of integers is emptied and
//   the arena is reset to the mark. Should an evaluation have grown a cache
//   after all (a block above the mark is still held), the caches are freed
//   and the arena starts again cold: slower, never wrong.
// - A thread that finds every arena claimed (a host thread that ended keeps
//   its arena) evaluates in one shared arena under a lock, and frees the
//   caches after each evaluation: 2 to 6 times slower (pi and log 2 are
//   computed again each time), never wrong.
// - The bound, measured by counting what GMP's functions are asked for over
//   the hard cases of the tests, random arguments over the whole range of
//   every function (subnormal results, pow near 1 and of integers, atan2 of
//   very different magnitudes) and sin, cos and tan up to 2^1024: MPFR
//   itself never calls malloc. Its caches grow to pi at 1212 bits (the
//   reduction of sin x for x near 2^1024) and log 2 at 325 bits. Warming
//   them to 1600 and 512 bits leaves 3.6 KB in the arena (the caches and the
//   gaps their computation left), an evaluation after it takes at most 1.4 KB
//   more at once, and a cold evaluation in the shared arena at most 3.7 KB:
//   4.9 KB at most, which kAccurateMemoryBound (8 KB, checked by the tests)
//   covers with a margin of 1.6; an arena is twice the bound. Memory grows
//   only with the working precision, which MPFR raises until the rounding
//   is decided: for binary64 arguments that is about 2 x 53 bits plus the
//   exponent of a huge trigonometric argument. An evaluation that went
//   further would grow a cache above the mark (freed at its end) before it
//   could fill the arena.
// - Should an arena be full all the same, the request goes to the heap, as
//   GMP's own functions would serve it (accurate_memory() counts these;
//   with a heap gate set, a refused request ends the process, which is what
//   GMP would do if the heap failed).
#include "elementary/accurate.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <utility>

#include <mpfr.h>

namespace hostmath::elementary {
namespace {

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
using Binary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);

// Indexed by Accurate; the order is the enumeration's.
constexpr Unary kUnary[] = {
    mpfr_exp, mpfr_log, mpfr_log10, mpfr_sinh, mpfr_cosh, mpfr_tanh,
    mpfr_sin, mpfr_cos, mpfr_tan, mpfr_asin, mpfr_acos, mpfr_atan,
    mpfr_log1p, mpfr_expm1, mpfr_atanh, mpfr_acosh,
};
static_assert(std::size(kUnary) == static_cast<size_t>(Accurate::kAcosh) + 1);

constexpr mpfr_prec_t kWarmPi = 1600;
constexpr mpfr_prec_t kWarmLog2 = 512;
constexpr size_t kArenaBytes = 2 * kAccurateMemoryBound;
// Blocks as aligned as malloc's.
constexpr size_t kAlign = 16;

constexpr size_t rounded(size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

std::atomic<size_t> g_most_bytes{0};
std::atomic<uint64_t> g_heap_requests{0};
std::atomic<HeapPermitted> g_heap_gate{nullptr};

// A bump allocator over static storage, used by one thread at a time.
class Arena {
public:
    bool claim() {
        return !claimed_.load(std::memory_order_relaxed) && !claimed_.exchange(true, std::memory_order_acquire);
    }
    void unclaim() { claimed_.store(false, std::memory_order_release); }

    void* allocate(size_t n) {
        n = rounded(n);
        if (n > kArenaBytes - top_) return nullptr;
        void* p = bytes_ + top_;
        top_ += n;
        most_ = std::max(most_, top_);
        ++live_;
        return p;
    }
    // In place where it can be: the newest block above the mark, or a
    // smaller size. Null where the block has to move.
    void* resize(void* p, size_t old, size_t n) {
        const size_t at = offset(p);
        if (at >= mark_ && at + rounded(old) == top_ && rounded(n) <= kArenaBytes - at) {
            top_ = at + rounded(n);
            most_ = std::max(most_, top_);
            return p;
        }
        return n <= old ? p : nullptr;
    }
    void release(void* p, size_t n) {
        const size_t at = offset(p);
        if (at < mark_) return;  // a warm constant, given back when the caches are freed
        --live_;
        if (at + rounded(n) == top_) top_ = at;
    }

    bool warm() const { return warm_; }
    // What the arena holds now stays: the caches just warmed.
    void keep() {
        mark_ = top_;
        live_ = 0;
        warm_ = true;
        note_most();
    }
    // After an evaluation: back to the mark, or false where a block above
    // it is still held (a cache grew).
    bool settle() {
        note_most();
        if (live_ != 0) return false;
        top_ = mark_;
        return true;
    }
    void clear() {
        note_most();
        top_ = mark_ = live_ = 0;
        warm_ = false;
    }

private:
    size_t offset(const void* p) const { return static_cast<size_t>(static_cast<const std::byte*>(p) - bytes_); }
    void note_most() {
        size_t seen = g_most_bytes.load(std::memory_order_relaxed);
        while (most_ > seen && !g_most_bytes.compare_exchange_weak(seen, most_, std::memory_order_relaxed)) {
        }
    }

    alignas(kAlign) std::byte bytes_[kArenaBytes]{};
    size_t top_ = 0;
    size_t mark_ = 0;
    size_t live_ = 0;  // blocks held above the mark
    size_t most_ = 0;
    bool warm_ = false;
    std::atomic<bool> claimed_{false};
};

// The last one is shared, under g_shared_lock. Zero and constant: in the
// image's zero-filled section, no page touched before it is used.
constinit Arena g_arenas[kAccurateArenas + 1];
Arena& g_shared = g_arenas[kAccurateArenas];
std::mutex g_shared_lock;

thread_local Arena* t_own = nullptr;      // the arena this thread claimed
thread_local Arena* t_serving = nullptr;  // the arena of this thread's evaluation

Arena* arena_of(const void* p) {
    const auto at = reinterpret_cast<uintptr_t>(p);
    const auto begin = reinterpret_cast<uintptr_t>(g_arenas);
    if (at < begin || at >= begin + sizeof g_arenas) return nullptr;
    return &g_arenas[(at - begin) / sizeof(Arena)];
}

// GMP's functions before ours: the heap. Outside an evaluation they serve
// every request (in the library's own copy there is none; a test program
// that also calls MPFR directly shares its copy with the accurate path).
struct HeapFunctions {
    void* (*allocate)(size_t);
    void* (*reallocate)(void*, size_t, size_t);
    void (*free)(void*, size_t);
};
HeapFunctions g_heap;

void* from_heap(size_t n) {
    g_heap_requests.fetch_add(1, std::memory_order_relaxed);
    const HeapPermitted permitted = g_heap_gate.load(std::memory_order_relaxed);
    if (permitted != nullptr && !permitted()) {
        std::fputs("hostmath: the accurate path's arena is full and the heap refused\n", stderr);
        std::abort();
    }
    return g_heap.allocate(n);
}

void* allocate(size_t n) {
    if (t_serving == nullptr) return g_heap.allocate(n);
    if (void* p = t_serving->allocate(n)) return p;
    return from_heap(n);
}

void release(void* p, size_t n) {
    if (Arena* home = arena_of(p)) home->release(p, n);
    else g_heap.free(p, n);
}

void* reallocate(void* p, size_t old, size_t n) {
    Arena* home = arena_of(p);
    if (home == nullptr && t_serving == nullptr) return g_heap.reallocate(p, old, n);
    if (home != nullptr) {
        if (void* q = home->resize(p, old, n)) return q;
    }
    void* q = allocate(n);
    std::memcpy(q, p, std::min(old, n));
    release(p, old);
    return q;
}

void install_memory_functions() {
    mp_get_memory_functions(&g_heap.allocate, &g_heap.reallocate, &g_heap.free);
    mp_set_memory_functions(allocate, reallocate, release);
}

Arena* claim_arena() {
    for (size_t i = 0; i < kAccurateArenas; ++i) {
        if (g_arenas[i].claim()) return &g_arenas[i];
    }
    return nullptr;
}

// The exponent range of binary64 in MPFR's convention (m * 2^e with
// m in [1/2, 1)), set for one evaluation and restored after it: the range is
// per thread and may be another component's setting.
class Binary64Range {
public:
    Binary64Range() : emin_(mpfr_get_emin()), emax_(mpfr_get_emax()) {
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
    ~Binary64Range() {
        mpfr_set_emin(emin_);
        mpfr_set_emax(emax_);
    }
    Binary64Range(const Binary64Range&) = delete;
    Binary64Range& operator=(const Binary64Range&) = delete;

private:
    mpfr_exp_t emin_;
    mpfr_exp_t emax_;
};

// One evaluation's memory: the calling thread's arena (claimed and warmed on
// first use) or the shared one, serving every request until it ends.
class Evaluation {
public:
    Evaluation() {
        static const bool installed = (install_memory_functions(), true);
        (void)installed;
        if (t_own == nullptr) t_own = claim_arena();
        if (t_own != nullptr) {
            t_serving = t_own;
            if (!t_own->warm()) warm_caches();
        } else {
            g_shared_lock.lock();
            t_serving = &g_shared;
        }
    }
    ~Evaluation() {
        mpfr_free_pool();
        Arena& arena = *t_serving;
        const bool own = &arena == t_own;
        if (!own || !arena.settle()) {
            mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
            arena.clear();
        }
        t_serving = nullptr;
        if (!own) g_shared_lock.unlock();
    }
    Evaluation(const Evaluation&) = delete;
    Evaluation& operator=(const Evaluation&) = delete;

private:
    static void warm_caches() {
        MPFR_DECL_INIT(pi, kWarmPi);
        MPFR_DECL_INIT(log2, kWarmLog2);
        mpfr_const_pi(pi, MPFR_RNDN);
        mpfr_const_log2(log2, MPFR_RNDN);
        mpfr_free_pool();
        t_own->keep();
    }
};

// Rounds once to 53 bits, then once more to the subnormal grid where the
// result is that small: together a single correct rounding to binary64.
double to_binary64(mpfr_ptr r, int ternary) {
    ternary = mpfr_subnormalize(r, ternary, MPFR_RNDN);
    return mpfr_get_d(r, MPFR_RNDN);
}

double binary(Binary f, double a, double b) {
    Evaluation evaluation;
    Binary64Range range;
    MPFR_DECL_INIT(ma, 53);
    MPFR_DECL_INIT(mb, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(ma, a, MPFR_RNDN);
    mpfr_set_d(mb, b, MPFR_RNDN);
    return to_binary64(r, f(r, ma, mb, MPFR_RNDN));
}

}  // namespace

double accurately(Accurate f, double x) {
    Evaluation evaluation;
    Binary64Range range;
    // Variables on the stack: only MPFR's own temporaries take memory.
    MPFR_DECL_INIT(mx, 53);
    MPFR_DECL_INIT(r, 53);
    mpfr_set_d(mx, x, MPFR_RNDN);
    return to_binary64(r, kUnary[static_cast<size_t>(f)](r, mx, MPFR_RNDN));
}

double accurate_atan2(double y, double x) { return binary(mpfr_atan2, y, x); }
double accurate_pow(double x, double y) { return binary(mpfr_pow, x, y); }

void release_thread_caches() {
    mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
    if (Arena* arena = std::exchange(t_own, nullptr)) {
        arena->clear();
        arena->unclaim();
    }
}

AccurateMemory accurate_memory() {
    return {g_most_bytes.load(std::memory_order_relaxed), g_heap_requests.load(std::memory_order_relaxed)};
}

void set_heap_gate(HeapPermitted permitted) { g_heap_gate.store(permitted, std::memory_order_relaxed); }

}  // namespace hostmath::elementary
