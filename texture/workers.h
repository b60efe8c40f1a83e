// Work on several threads: numbered parts handed out in order, and plain
// worker threads. Every thread started here blocks the asynchronous
// signals, so they keep reaching the thread that started the work.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Records that different threads write go on cache lines of their own: two
// threads writing to one line make it travel between their cores each time.
constexpr size_t cacheline = 64;

struct partsjob;

// Threads that each run a chain of jobs of their own and share the parts of
// those jobs: a member whose chain is done helps with the parts of the
// others until every chain is done.
struct workteam {
    explicit workteam(int members) : working(members) {}
    std::mutex lock;
    std::condition_variable changed;
    std::vector<partsjob *> open;   // jobs whose parts may not all be claimed
    int working;                    // members whose chain is not done
};

// Run job(part) for part = 0 .. parts - 1 on up to `threads` threads, the
// calling one included; returns when every part is done. Parts are claimed
// in increasing order, so a part never waits for a later one to start. If
// no thread can be started the caller runs every part itself.
// With a team, the idle members of the team claim parts too.
void runparts(int threads, int parts, const std::function<void(int part)> &job, workteam *team = nullptr);

// This member's chain is done: help with the others' parts until theirs are.
void teamhelp(workteam &team);

// Threads running `job` each; startworkers returns how many could start.
struct workerset {
    std::vector<std::thread> threads;
};
int startworkers(workerset &w, int count, const std::function<void()> &job);
void joinworkers(workerset &w);

// Hardware threads of this machine (at least 1).
int hardwarethreads();
