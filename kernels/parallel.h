// SPDX-License-Identifier: GPL-3.0-or-later
// Fork-join over index ranges, for the operations that split their work
// across threads.
//
// Two rules shape it:
// - No thread outlives the call that started it. The host may unload the
//   library at any moment after a call has returned, without telling it
//   first, so no library thread may then be running or waiting in library
//   code. A Team starts its threads in its constructor and joins every one
//   of them in its destructor; an operation keeps its Team on its own stack.
// - Worker threads never call the host. A body given to a Team does pure
//   arithmetic on memory the caller looked up; every host call stays on the
//   calling thread, before or after the parallel part.
//
// The split never changes a result: each range is handed the same code that
// one thread would run over the whole, so an operation whose elements are
// computed independently is bit-identical for every thread count. Reductions
// combine their per-range partials in ascending range order, so a search that
// keeps the first of equal candidates still keeps the first in scan order.
//
// Every part of a job also runs in the same floating-point mode: the calling
// thread's, read when the job starts. A new thread does not reliably have
// it: Windows starts every thread in the default mode, and a team's threads
// keep the mode they were started in when the caller's changes later. A
// worker in another mode would round differently from one thread over the
// whole, in exactly the part it computed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace hostmath::parallel {

// ---- how many threads ---------------------------------------------------------

// The most threads one operation uses, whatever the environment asks for.
inline constexpr int kMaxThreads = 256;

// The number of hardware threads this process may run on, at least 1.
int hardware_threads();
// The value of HOSTMATH_THREADS: a positive decimal number, capped at
// kMaxThreads; null, empty, 0 or anything else gives `fallback`.
int parse_thread_count(const char* text, int fallback);
// Reads HOSTMATH_THREADS (default: hardware_threads()). Called at load.
void configure_from_environment();
// The thread count set at load; 1 means every operation runs on the calling thread.
int thread_limit();
void set_thread_limit(int threads);

// Threads for a job of `work` units in which each thread should have at
// least `min_work` units to be worth its start: 1 to thread_limit().
int threads_for(int64_t work, int64_t min_work);

// ---- the floating-point mode ---------------------------------------------------

// What decides how a thread's arithmetic rounds: MXCSR's control bits
// (rounding direction, flush-to-zero, denormals-are-zero, exception masks)
// and the x87 control word (rounding direction, precision, masks). The
// sticky exception flags are no part of it.
struct FloatingPointMode {
    uint32_t mxcsr = 0;
    uint16_t x87_control = 0;
};

// The calling thread's mode, and setting it (the thread keeps its flags).
FloatingPointMode floating_point_mode();
void set_floating_point_mode(const FloatingPointMode& mode);

// ---- splitting a range --------------------------------------------------------

struct Range {
    int64_t begin;
    int64_t end;
    bool empty() const { return begin >= end; }
};

// Part `part` of `parts` consecutive ranges that cover [begin, end) in
// ascending order. Boundaries fall on begin + a multiple of `grain` (the
// last range ends at `end`), and the ranges differ by at most one grain.
Range part_of(int64_t begin, int64_t end, int64_t grain, int part, int parts);

// ---- the team -----------------------------------------------------------------

// Tasks 0 .. count-1 handed out from both ends: the first that no thread
// has taken, or the last. One atomic word holds both ends, so no task is
// taken twice and none is left; hence count below 2^32 (a job's pieces,
// never near it).
class TaskEnds {
public:
    explicit TaskEnds(int64_t count) : ends_(pack(0, count < 0 ? 0 : static_cast<uint32_t>(count))) {}
    // A task's index, or -1 when none is left.
    int64_t take(bool from_first) {
        uint64_t ends = ends_.load(std::memory_order_relaxed);
        for (;;) {
            const uint32_t first = static_cast<uint32_t>(ends >> 32), end = static_cast<uint32_t>(ends);
            if (first >= end) return -1;
            const uint64_t rest = from_first ? pack(first + 1, end) : pack(first, end - 1);
            if (ends_.compare_exchange_weak(ends, rest, std::memory_order_relaxed)) return from_first ? first : end - 1;
        }
    }

private:
    static uint64_t pack(uint32_t first, uint32_t end) { return (static_cast<uint64_t>(first) << 32) | end; }
    std::atomic<uint64_t> ends_;
};

// The calling thread and up to threads - 1 workers, alive from construction
// to destruction. Between jobs the workers wait on a condition variable, so
// an operation of many steps (a sweep per pivot, say) starts its threads
// once and wakes them per step. If the system refuses a thread, the team is
// smaller; results do not depend on its size.
class Team {
public:
    explicit Team(int threads);
    ~Team();
    Team(const Team&) = delete;
    Team& operator=(const Team&) = delete;

    int size() const { return size_; }

    // Runs body(lo, hi) on each non-empty part of [begin, end) (see part_of),
    // one part per thread, the calling thread taking the first, and returns
    // when all are done.
    template <class Body>
    void for_ranges(int64_t begin, int64_t end, int64_t grain, Body&& body) {
        for_parts(begin, end, grain, [&body](int, int64_t lo, int64_t hi) { body(lo, hi); });
    }

    // As for_ranges, with the number of the part (0 to size() - 1) as
    // body(part, lo, hi), so that each part can work in what the calling
    // thread prepared for it.
    template <class Body>
    void for_numbered_ranges(int64_t begin, int64_t end, int64_t grain, Body&& body) {
        for_parts(begin, end, grain, body);
    }

    // part(lo, hi) gives the partial result of one non-empty part; the
    // partials are folded as combine(combine(identity, first), second) ...
    // in ascending order of their ranges, on the calling thread. T is a
    // small copyable value (a magnitude and its position, say).
    template <class T, class Part, class Combine>
    T reduce_ranges(int64_t begin, int64_t end, int64_t grain, T identity, Part&& part, Combine&& combine) {
        T partials[kMaxThreads];
        for (int p = 0; p < size_; ++p) partials[p] = identity;
        for_parts(begin, end, grain, [&](int p, int64_t lo, int64_t hi) { partials[p] = part(lo, hi); });
        T acc = identity;
        for (int p = 0; p < size_; ++p) acc = combine(acc, partials[p]);
        return acc;
    }

    // first() on the calling thread while the other threads take tasks 0 ..
    // count-1, each as task(part, index) with the number of the thread that
    // runs it (0 to size() - 1); returns when all are done. The calling
    // thread takes tasks from the first up once first() is done, the others
    // from the last down, so that a thread tends to keep the same end of a
    // job's data from one call to the next (in its own cache) and the tasks
    // first() makes ready soonest are the calling thread's. first() must
    // touch nothing the tasks touch. Which thread runs a task is left to
    // timing, so a task's result must not depend on it.
    template <class First, class Task>
    void share_after(First&& first, int64_t count, Task&& task) {
        TaskEnds ends(count);
        for_parts(0, size_, 1, [&](int part, int64_t, int64_t) {
            if (part == 0) first();
            for (int64_t i = ends.take(part == 0); i >= 0; i = ends.take(part == 0)) task(part, i);
        });
    }

private:
    using JobFn = void (*)(void* job, int part);

    // body(part, lo, hi) for each non-empty part.
    template <class Body>
    void for_parts(int64_t begin, int64_t end, int64_t grain, Body&& body) {
        struct Job {
            Body& body;
            int64_t begin, end, grain;
            int parts;
        } job{body, begin, end, grain, size_};
        run(
            [](void* p, int part) {
                Job& j = *static_cast<Job*>(p);
                const Range r = part_of(j.begin, j.end, j.grain, part, j.parts);
                if (!r.empty()) j.body(part, r.begin, r.end);
            },
            &job);
    }
    // fn(job, part) for every part, each on its own thread; returns when all are done.
    void run(JobFn fn, void* job);
    void work(int part);

    int size_ = 1;
    std::unique_ptr<std::thread[]> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // Written under mutex_; read without it too, by a thread that polls for
    // a short while before it sleeps (see spin_until in parallel.cpp).
    std::atomic<uint64_t> generation_{0};
    std::atomic<int> pending_{0};
    std::atomic<bool> stopping_{false};
    JobFn fn_ = nullptr;
    void* job_ = nullptr;
    FloatingPointMode mode_;  // the calling thread's, for the job of this generation
};

// One loop on a team of its own, started and joined within this call; with
// one thread the body runs directly.
template <class Body>
void for_ranges(int threads, int64_t begin, int64_t end, int64_t grain, Body&& body) {
    if (threads <= 1) {
        if (begin < end) body(begin, end);
        return;
    }
    Team team(threads);
    team.for_ranges(begin, end, grain, body);
}

}  // namespace hostmath::parallel
