#include "workers.h"

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <system_error>

int startworkers(workerset &w, int count, const std::function<void()> &job)
{
    // A new thread starts with its creator's signal mask: block everything
    // while creating them.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    int started = 0;
    for (; started < count; started++) {
        try {
            w.threads.emplace_back(job);
        } catch (const std::system_error &) {
            break;      // no more threads: the ones running share the work
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return started;
}

void joinworkers(workerset &w)
{
    for (std::thread &t : w.threads)
        t.join();
    w.threads.clear();
}

void runparts(int threads, int parts, const std::function<void(int part)> &job)
{
    std::atomic<int> next{0};
    auto drain = [&] {
        for (int p; (p = next.fetch_add(1)) < parts;)
            job(p);
    };
    workerset w;
    startworkers(w, (threads < parts ? threads : parts) - 1, drain);
    drain();
    joinworkers(w);
}

int hardwarethreads()
{
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}
