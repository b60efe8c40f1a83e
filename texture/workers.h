// Work on several threads: numbered parts handed out in order, and plain
// worker threads. Every thread started here blocks the asynchronous
// signals, so they keep reaching the thread that started the work.
#pragma once
#include <functional>
#include <thread>
#include <vector>

// Run job(part) for part = 0 .. parts - 1 on up to `threads` threads, the
// calling one included; returns when every part is done. Parts are claimed
// in increasing order, so a part never waits for a later one to start. If
// no thread can be started the caller runs every part itself.
void runparts(int threads, int parts, const std::function<void(int part)> &job);

// Threads running `job` each; startworkers returns how many could start.
struct workerset {
    std::vector<std::thread> threads;
};
int startworkers(workerset &w, int count, const std::function<void()> &job);
void joinworkers(workerset &w);

// Hardware threads of this machine (at least 1).
int hardwarethreads();
