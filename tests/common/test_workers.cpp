// The thread pool: every part once, on no more threads than asked, the
// caller alone on one thread, help for nested jobs, blocked signals, and a
// pool that starts afresh in a forked child.
#include "workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every part of every job runs exactly once, whoever runs it: two members
// each run a chain of jobs of their own, one chain far longer than the other,
// and a job is whole when runparts returns.
TEST(Workers, EveryPartRunsOnce)
{
    for (int threads : {1, 2, 3, 7}) {
        const std::vector<int> chains[2] = {{1, 7, 64, 3, 0, 40}, {2}};
        std::vector<std::vector<std::atomic<int>>> runs;
        for (const std::vector<int> &c : chains)
            for (int parts : c)
                runs.emplace_back(size_t(parts));
        runparts(2, 2, [&](int member) {
            size_t job = member == 0 ? 0 : chains[0].size();
            for (int parts : chains[member]) {
                std::vector<std::atomic<int>> &r = runs[job++];
                runparts(threads, parts, [&](int p) { r[size_t(p)]++; });
                for (int p = 0; p < parts; p++)
                    ASSERT_EQ(r[size_t(p)].load(), 1) << "part " << p << " of " << parts << ", " << threads << " threads";
            }
        });
    }
}

// No more threads inside a job at once than asked for, the caller included;
// with one thread the caller runs every part, in order.
TEST(Workers, ThreadsAtOnceStayWithinTheLimit)
{
    for (int threads : {1, 2, 3, 5}) {
        std::atomic<int> inside{0}, most{0};
        std::mutex lock;
        std::vector<int> order;
        std::set<std::thread::id> seen;
        runparts(threads, 200, [&](int p) {
            const int now = ++inside;
            for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
            }
            {
                std::lock_guard<std::mutex> hold(lock);
                order.push_back(p);
                seen.insert(std::this_thread::get_id());
            }
            std::this_thread::yield();
            inside--;
        });
        EXPECT_LE(most.load(), threads);
        EXPECT_LE(int(seen.size()), threads);
        if (threads == 1) {
            EXPECT_EQ(seen, std::set<std::thread::id>{std::this_thread::get_id()});
            for (int p = 0; p < 200; p++)
                ASSERT_EQ(order[size_t(p)], p);
        }
    }
}

// A thread done with its part helps with the job its fellow opened: part 0
// holds its job's only thread until another thread has run part 1.
TEST(Workers, IdleThreadHelpsWithNestedJob)
{
    std::atomic<bool> helped{false};
    runparts(2, 2, [&](int member) {
        if (member == 0)
            runparts(1, 2, [&](int p) {
                if (p == 1) {
                    helped = true;
                    return;
                }
                for (int i = 0; i < 10000 && !helped; i++)   // at most 10 s
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
    });
    EXPECT_TRUE(helped);
}

// Pool threads block the asynchronous signals; the caller's mask is its own.
TEST(Workers, PoolThreadsBlockSignals)
{
    std::atomic<int> pooled{0}, blocked{0};
    const std::thread::id caller = std::this_thread::get_id();
    runparts(4, 64, [&](int) {
        if (std::this_thread::get_id() == caller)
            return;
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        pooled++;
        blocked += sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM) && sigismember(&mask, SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_EQ(blocked.load(), pooled.load());
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, SIGINT));
}

// A forked child has none of the parent's threads: its jobs still end, on
// threads of its own, and one job after another on three threads needs
// two of them, however soon the next job comes.
TEST(Workers, ForkedChildStartsItsOwnPool)
{
    runparts(3, 30, [](int) { std::this_thread::yield(); });
    ASSERT_GT(poolthreads(), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::atomic<int> sum{0};
        bool fresh = poolthreads() == 0;
        for (int job = 0; job < 50; job++)
            runparts(3, 100, [&](int p) { sum += p; });
        _exit(fresh && sum == 50 * 4950 && poolthreads() == 2 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
