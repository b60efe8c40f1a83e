// The program's one pool of threads. Work goes to it as a job of numbered
// parts; the threads are started when a job first needs them and kept for
// the next. Whoever opens a job runs parts of it too, so with one thread
// the caller runs every part itself, through the same code. A thread that
// has no part of its job left while others still run some helps with the
// jobs opened after it (the ones those parts may have opened and be
// waiting for). Every pool thread blocks the asynchronous signals, so they
// keep reaching the threads that started the work.
//
//   runparts    run every part of a job on up to N threads and return
//   poolopen    a job the pool starts on while its opener does other work
//   poolclose   the opener runs the parts left, then waits for the rest
#pragma once
#include <atomic>
#include <concepts>
#include <cstddef>
#include <functional>
#include <type_traits>

// Records that different threads write go on cache lines of their own: two
// threads writing to one line make it travel between their cores each time.
constexpr size_t cacheline = 64;

// Threads the pool keeps at most (the callers' own threads not counted).
constexpr int maxpoolthreads = 1024;

// What a job runs: call(ctx, part). Made from any callable by workof,
// without copying it or taking memory.
struct poolwork {
    void (*call)(const void *ctx, int part);
    const void *ctx;
};

template <typename F> poolwork workof(const F &f)
{
    return {[](const void *ctx, int part) { (*static_cast<const F *>(ctx))(part); }, &f};
}

// One job. Parts are claimed in increasing order, so a part never waits for
// a later one to start. A part must not throw.
struct pooljob {
    poolwork work;
    int parts;
    int limit;                  // most threads inside at once, the opener's place included
    std::atomic<int> next;      // the next part to claim
    int inside;                 // threads inside, the opener until it is done (under the pool's lock)
    int running;                // threads inside still claiming parts
    pooljob *older, *newer;     // the open jobs, oldest first
};

// Run job(part) for part = 0 .. parts - 1 on up to `threads` pool threads at
// once, the calling one included (and threads that wait for a job that
// encloses this one); returns when every part is done. If no thread can be
// started the caller runs every part itself. The parts may run in any order.
void runwork(int threads, int parts, poolwork work);

void runparts(int threads, int parts, const std::function<void(int part)> &job);

// The same for a lambda, which is not copied into a std::function (that may
// take memory, and so fail).
template <typename F>
    requires std::invocable<const F &, int> && (!std::is_same_v<F, std::function<void(int)>>)
void runparts(int threads, int parts, const F &job)
{
    runwork(threads, parts, workof(job));
}

// Open a job of `parts` parts for at most `limit` threads, the opener's place
// included: pool threads start on it at once (threads are started when too
// few are idle; if none can be, the opener does it all in poolclose). What
// `work` points to and `j` must stay valid until poolclose returns.
void poolopen(pooljob &j, int limit, int parts, poolwork work);

// The opener runs the parts nobody has claimed, then waits for those others
// run, helping with newer jobs meanwhile; then the job leaves the list. A
// forked child starts with an empty pool (its jobs must be opened there).
void poolclose(pooljob &j);

// Threads the pool holds now.
int poolthreads();

// Hardware threads of this machine (at least 1).
int hardwarethreads();
