// Parts on threads, and teams whose idle members help with the parts of
// the others' jobs.
#include "workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Every part of every job runs exactly once, whoever runs it: two members
// each run a chain of jobs of their own, one chain far longer than the other.
TEST(Workers, TeamRunsEveryPartOnce)
{
    for (int threads : {1, 2, 3}) {
        const std::vector<int> chains[2] = {{1, 7, 64, 3, 0, 40}, {2}};
        std::vector<std::vector<std::atomic<int>>> runs;
        for (const std::vector<int> &c : chains)
            for (int parts : c)
                runs.emplace_back(size_t(parts));
        workteam team(2);
        runparts(2, 2, [&](int member) {
            size_t job = member == 0 ? 0 : chains[0].size();
            for (int parts : chains[member]) {
                std::vector<std::atomic<int>> &r = runs[job++];
                runparts(threads, parts, [&](int p) { r[size_t(p)]++; }, &team);
                for (int p = 0; p < parts; p++)   // the job is whole when runparts returns
                    ASSERT_EQ(r[size_t(p)].load(), 1) << "part " << p << " of " << parts;
            }
            teamhelp(team);
        });
        EXPECT_EQ(team.working, 0);
        EXPECT_TRUE(team.open.empty());
    }
}

// A member done with its chain takes parts of the others' jobs: part 0
// holds its job's only thread until another thread has run part 1.
TEST(Workers, IdleMemberHelps)
{
    workteam team(2);
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
            }, &team);
        teamhelp(team);
    });
    EXPECT_TRUE(helped);
}

} // namespace
