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

struct partsjob {
    const std::function<void(int part)> *job;
    int parts;
    std::atomic<int> next{0};
    std::atomic<int> done{0};   // a helper counts its parts under the team's lock
};

void runparts(int threads, int parts, const std::function<void(int part)> &job, workteam *team)
{
    partsjob j;
    j.job = &job;
    j.parts = parts;
    if (team) {
        std::lock_guard<std::mutex> hold(team->lock);
        team->open.push_back(&j);
        team->changed.notify_all();
    }
    auto drain = [&] {
        for (int p; (p = j.next.fetch_add(1)) < parts; j.done++)
            job(p);
    };
    workerset w;
    startworkers(w, (threads < parts ? threads : parts) - 1, drain);
    drain();
    joinworkers(w);
    if (team) {
        std::unique_lock<std::mutex> hold(team->lock);
        std::erase(team->open, &j);
        team->changed.wait(hold, [&] { return j.done == parts; });
    }
}

void teamhelp(workteam &team)
{
    std::unique_lock<std::mutex> hold(team.lock);
    team.working--;
    team.changed.notify_all();
    for (;;) {
        partsjob *j = nullptr;
        int p = 0;
        for (partsjob *o : team.open)
            if ((p = o->next.fetch_add(1)) < o->parts) {
                j = o;
                break;
            }
        if (!j) {
            if (team.working == 0)
                return;
            team.changed.wait(hold);
            continue;
        }
        hold.unlock();
        (*j->job)(p);
        hold.lock();
        j->done++;
        team.changed.notify_all();
    }
}

int hardwarethreads()
{
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}
