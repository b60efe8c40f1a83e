#include "workers.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <new>
#include <pthread.h>
#include <thread>

namespace {

// The pool's threads and the open jobs. A pool thread takes parts of the
// oldest open job that has room (fewer threads inside than its limit). A
// thread that finds no part of its job left, while others still run some,
// stays with the job until they are done and meanwhile takes parts of any
// newer job, room or not (parts of its job may be waiting for those): it is
// one of the threads counted for the job, and would otherwise sit idle.
struct poolstate {
    std::mutex lock;
    std::condition_variable work;       // idle pool threads: a job was opened, or stop
    std::condition_variable progress;   // threads waiting for a job to end: threads left one, or a job was opened
    pooljob *oldest = nullptr, *newest = nullptr;
    int threads = 0;
    int busy = 0;                       // pool threads inside a job
    bool stopping = false;
    bool forkhandled = false;
    pthread_t ids[maxpoolthreads];

    // At exit: the threads are idle (every job ends before its opener
    // returns); wake them and let them end.
    ~poolstate()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        work.notify_all();
        for (int i = 0; i < threads; i++)
            pthread_join(ids[i], nullptr);
    }
};

poolstate pool;

// Under the lock: the first job from `from` on with a part left to claim,
// and room for one more thread when `roomy`.
pooljob *claimable(pooljob *from, bool roomy)
{
    for (pooljob *j = from; j; j = j->newer)
        if (j->next.load(std::memory_order_relaxed) < j->parts && (!roomy || j->inside < j->limit))
            return j;
    return nullptr;
}

// Claim and run parts of j until none is left, stay while others run parts
// of it, then leave it. `hold` is locked on entry and on return, and this
// thread is already counted inside j.
void serve(pooljob &j, std::unique_lock<std::mutex> &hold)
{
    j.running++;
    hold.unlock();
    for (int p; (p = j.next.fetch_add(1, std::memory_order_relaxed)) < j.parts;)
        j.work.call(j.work.ctx, p);
    hold.lock();
    if (--j.running == 0)
        pool.progress.notify_all();
    while (j.running > 0) {
        if (pooljob *h = claimable(j.newer, false)) {
            h->inside++;
            serve(*h, hold);
        } else {
            pool.progress.wait(hold);
        }
    }
    if (--j.inside == 0)
        pool.progress.notify_all();
}

void *poolthread(void *)
{
    std::unique_lock<std::mutex> hold(pool.lock);
    for (;;) {
        if (pooljob *j = claimable(pool.oldest, true)) {
            j->inside++;
            pool.busy++;
            serve(*j, hold);
            pool.busy--;
            continue;
        }
        if (pool.stopping)
            return nullptr;
        pool.work.wait(hold);
    }
}

// A forked child has only the thread that forked: the others, and any lock
// they held, are not there. It starts with an empty pool.
void forgetpool()
{
    new (&pool.lock) std::mutex;
    new (&pool.work) std::condition_variable;
    new (&pool.progress) std::condition_variable;
    pool.oldest = pool.newest = nullptr;
    pool.threads = pool.busy = 0;
}

// Under the lock: threads so that `wanted` are not inside a job (some may
// not have started waiting yet), as far as they can be made. A new thread starts with its creator's signal mask: block
// everything while creating them.
void startthreads(int wanted)
{
    if (!pool.forkhandled) {
        pthread_atfork(nullptr, nullptr, forgetpool);
        pool.forkhandled = true;
    }
    int missing = std::min(wanted - (pool.threads - pool.busy), maxpoolthreads - pool.threads);
    if (missing <= 0)
        return;
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    for (; missing > 0; missing--) {
        if (pthread_create(&pool.ids[pool.threads], nullptr, poolthread, nullptr) != 0)
            break;      // no more threads: the ones running share the work
        pool.threads++;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

void poolopen(pooljob &j, int limit, int parts, poolwork work)
{
    j.work = work;
    j.parts = parts;
    j.limit = std::max(limit, 1);
    j.next.store(0, std::memory_order_relaxed);
    j.inside = 1;       // the opener's place
    j.running = 0;
    j.newer = nullptr;
    const int helpers = std::min(j.limit - 1, parts);
    std::lock_guard<std::mutex> hold(pool.lock);
    j.older = pool.newest;
    (pool.newest ? pool.newest->newer : pool.oldest) = &j;
    pool.newest = &j;
    if (helpers > 0) {
        startthreads(helpers);
        for (int i = 0; i < helpers; i++)
            pool.work.notify_one();
    }
    // Openers waiting for an older job may help with this one.
    if (j.older)
        pool.progress.notify_all();
}

void poolclose(pooljob &j)
{
    std::unique_lock<std::mutex> hold(pool.lock);
    serve(j, hold);
    pool.progress.wait(hold, [&] { return j.inside == 0; });
    (j.older ? j.older->newer : pool.oldest) = j.newer;
    (j.newer ? j.newer->older : pool.newest) = j.older;
}

void runwork(int threads, int parts, poolwork work)
{
    if (parts <= 0)
        return;
    pooljob j;
    poolopen(j, std::min(threads, parts), parts, work);
    poolclose(j);
}

void runparts(int threads, int parts, const std::function<void(int part)> &job)
{
    runwork(threads, parts, workof(job));
}

int poolthreads()
{
    std::lock_guard<std::mutex> hold(pool.lock);
    return pool.threads;
}

int hardwarethreads()
{
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}
