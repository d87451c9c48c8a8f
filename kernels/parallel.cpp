// SPDX-License-Identifier: GPL-3.0-or-later
#include "kernels/parallel.h"

#include "elementary/accurate.h"

#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>

namespace hostmath::parallel {

namespace {

// Written at load, read by operations on the host's thread.
int g_thread_limit = 1;

}  // namespace

// ---- how many threads ---------------------------------------------------------

int hardware_threads() {
    const unsigned n = std::thread::hardware_concurrency();  // 0 when unknown
    return n == 0 ? 1 : static_cast<int>(std::min<unsigned>(n, kMaxThreads));
}

int parse_thread_count(const char* text, int fallback) {
    if (text == nullptr || *text == 0) return fallback;
    int64_t value = 0;
    for (const char* c = text; *c != 0; ++c) {
        if (*c < '0' || *c > '9') return fallback;
        value = std::min<int64_t>(value * 10 + (*c - '0'), kMaxThreads);
    }
    return value == 0 ? fallback : static_cast<int>(value);
}

void configure_from_environment() {
    set_thread_limit(parse_thread_count(std::getenv("HOSTMATH_THREADS"), hardware_threads()));
}

int thread_limit() { return g_thread_limit; }

void set_thread_limit(int threads) {
    g_thread_limit = std::clamp(threads, 1, kMaxThreads);
}

int threads_for(int64_t work, int64_t min_work) {
    const int limit = thread_limit();
    if (limit <= 1 || work < 2 * min_work) return 1;
    return static_cast<int>(std::min<int64_t>(limit, work / min_work));
}

// ---- the floating-point mode ---------------------------------------------------

namespace {

// MXCSR bits 0-5: the sticky exception flags.
constexpr uint32_t kMxcsrFlags = 0x3F;

}  // namespace

// One instruction each way, about 10 ns of CPU. MXCSR through the SSE
// intrinsics, which gcc, clang and mingw-w64 all provide. The x87 control
// word through fnstcw and fldcw: no intrinsic for it is common to gcc and
// clang, and <cfenv>, which reaches it too, is far dearer: fegetenv and
// fesetenv store and load the whole x87 environment (75 ns each with
// glibc), and mingw-w64's also run cpuid on every call (1.6 µs each under
// Wine in a virtual machine, more than waking a thread).
FloatingPointMode floating_point_mode() {
    FloatingPointMode mode;
    mode.mxcsr = _mm_getcsr() & ~kMxcsrFlags;
    __asm__ volatile("fnstcw %0" : "=m"(mode.x87_control));
    return mode;
}

void set_floating_point_mode(const FloatingPointMode& mode) {
    _mm_setcsr((_mm_getcsr() & kMxcsrFlags) | mode.mxcsr);
    __asm__ volatile("fldcw %0" : : "m"(mode.x87_control));
}

// ---- splitting a range --------------------------------------------------------

Range part_of(int64_t begin, int64_t end, int64_t grain, int part, int parts) {
    if (begin >= end) return {begin, begin};
    grain = std::max<int64_t>(grain, 1);
    const int64_t units = (end - begin - 1) / grain + 1;
    // The first `extra` parts get one unit more than the others.
    const int64_t base = units / parts, extra = units % parts;
    const auto start = [&](int64_t p) { return begin + (p * base + std::min(p, extra)) * grain; };
    return {std::min(start(part), end), std::min(start(part + 1), end)};
}

// ---- the team -----------------------------------------------------------------

namespace {

// Waking a sleeping thread takes tens of microseconds in a virtual machine
// (an interrupt to another processor), and an operation of many steps (a
// factorisation's panels, say) hands its team a job every few hundred. So
// a thread that waits polls first, for about this long, and sleeps only if
// nothing came.
constexpr auto kPollFor = std::chrono::microseconds(50);

// Polls ready() for up to kPollFor; whether it became true.
template <class Ready>
bool spin_until(Ready&& ready) {
    const auto give_up = std::chrono::steady_clock::now() + kPollFor;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
            _mm_pause();
        }
        if (std::chrono::steady_clock::now() >= give_up) return ready();
    }
}

}  // namespace

Team::Team(int threads) {
    threads = std::clamp(threads, 1, kMaxThreads);
    if (threads == 1) return;
    workers_.reset(new (std::nothrow) std::thread[threads - 1]);
    if (!workers_) return;
    // A thread the system refuses (std::system_error) ends the team where it
    // stands: nothing may be thrown to the host.
    for (int i = 0; i < threads - 1; ++i) {
        try {
            workers_[i] = std::thread(&Team::work, this, i + 1);
        } catch (...) {
            break;
        }
        ++size_;
    }
}

Team::~Team() {
    if (size_ == 1) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (int i = 0; i < size_ - 1; ++i) workers_[i].join();
}

void Team::run(JobFn fn, void* job) {
    if (size_ > 1) {
        const FloatingPointMode caller = floating_point_mode();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fn_ = fn;
            job_ = job;
            mode_ = caller;
            pending_ = size_ - 1;
            ++generation_;
        }
        wake_.notify_all();
    }
    fn(job, 0);
    const auto all_done = [this] { return pending_.load(std::memory_order_acquire) == 0; };
    if (size_ > 1 && !spin_until(all_done)) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, all_done);
    }
}

// A worker takes each generation's job exactly once: run() starts the next
// generation only after every worker has finished the last one. It takes
// the caller's floating-point mode before its part, every job, since the
// caller's mode may have changed between jobs.
void Team::work(int part) {
    uint64_t seen = 0;
    const auto job_or_stop = [&] { return stopping_.load() || generation_.load(std::memory_order_acquire) != seen; };
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        lock.unlock();
        spin_until(job_or_stop);
        lock.lock();
        wake_.wait(lock, job_or_stop);
        if (stopping_) {
            // The thread ends: what the elementary functions' accurate path
            // cached for it would be lost with it.
            elementary::release_thread_caches();
            return;
        }
        seen = generation_;
        const JobFn fn = fn_;
        void* job = job_;
        const FloatingPointMode mode = mode_;
        lock.unlock();
        set_floating_point_mode(mode);
        fn(job, part);
        lock.lock();
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) done_.notify_one();
    }
}

}  // namespace hostmath::parallel
