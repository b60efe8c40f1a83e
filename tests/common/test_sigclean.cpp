// The signal clean-up table, through the safe writer.
#include "safefile.h"

#include "support/scratch.h"

#include <gtest/gtest.h>
#include <csignal>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct plan {
    std::string what;
    void (*before)();          // in the child, before the file is opened
    std::vector<int> signals;  // sent by the parent once the bytes are written
    void (*during)();          // in the child after them, before the commit
    size_t extra;              // bytes after "partial" (past a write-out step)
    int endedby;               // the signal that must end the writer; 0: it commits
};

// A child that starts as a program does (every signal at its default, a
// sanitizer's handlers included, and no core file) carries out the plan on
// path (no file when empty), SIGCONT after the signals so that a stop ends
// nothing. Returns the signal that ended it, 0 when it exited with 0, 100 +
// its exit code otherwise.
int writerchild(const std::string &path, const plan &p)
{
    int up[2], go[2];
    if (pipe(up) != 0 || pipe(go) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        for (int sig = 1; sig < NSIG; sig++)
            if (sig != SIGKILL && sig != SIGSTOP)
                signal(sig, SIG_DFL);
        rlimit none = {0, 0};
        setrlimit(RLIMIT_CORE, &none);
        prctl(PR_SET_DUMPABLE, 0);
        if (p.before)
            p.before();
        static safefile f;
        std::string more(p.extra, 'x');
        if (!path.empty() && (!safeopen(f, path.c_str()) || !safewrite(f, "partial", 7) ||
                              !safewrite(f, more.data(), more.size())))
            _exit(3);
        char c = 'r';
        if (write(up[1], &c, 1) != 1 || read(go[0], &c, 1) != 1)
            _exit(2);
        if (p.during)
            p.during();
        _exit(path.empty() || safecommit(f) ? 0 : 1);
    }
    char c;
    if (read(up[0], &c, 1) == 1) {
        for (int sig : p.signals)
            kill(child, sig);   // pending before the child reads "go"
        kill(child, SIGCONT);
        if (write(go[1], "g", 1) != 1)
            kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {up[0], up[1], go[0], go[1]})
        close(fd);
    return WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status) ? 100 + WEXITSTATUS(status) : 0;
}

} // namespace

// Every signal whose default action ends a process (the system's answer), a
// signal in the middle of a write-out and a fault end the writer, leave the
// old file and nothing beside it (SIGXFSZ is ignored while a file is open);
// signals ignored before (nohup, a background job) or handled by the program
// are left to it. After the last file every disposition is as it was.
TEST(sigclean, everyEndingSignalRemovesTheTemporaryFile)
{
    struct sigaction before[NSIG], after;
    bool seen[NSIG];
    for (int sig = 1; sig < NSIG; sig++)
        seen[sig] = sigaction(sig, nullptr, &before[sig]) == 0;
    std::vector<plan> plans = {
        {"SIGINT ignored before", [] { signal(SIGINT, SIG_IGN); }, {SIGINT}, nullptr, 0, 0},
        {"SIGINT ignored, then SIGTERM", [] { signal(SIGINT, SIG_IGN); }, {SIGINT, SIGTERM}, nullptr, 0, SIGTERM},
        {"SIGUSR1 handled by the program", [] { signal(SIGUSR1, [](int) {}); }, {SIGUSR1}, nullptr, 0, 0},
        {"SIGTERM past a write-out step", nullptr, {SIGTERM}, nullptr, safesyncstep + safebuffersize, SIGTERM},
        {"a fault of the processor", nullptr, {}, [] {
             void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             *static_cast<volatile int *>(page) = 1;
         }, 0, SIGSEGV},
    };
    int ending = 0;
    for (int sig = 1; sig <= SIGRTMAX; sig++)   // SIGKILL, and those the C library keeps for its threads, aside
        if (sig != SIGKILL && seen[sig] && writerchild("", {"", nullptr, {sig}, nullptr, 0, 0}) == sig) {
            ending++;
            plans.push_back({strsignal(sig), nullptr, {sig}, nullptr, 0, sig == SIGXFSZ ? 0 : sig});
        }
    EXPECT_GE(ending, 20 + SIGRTMAX - SIGRTMIN);   // the classic ones and every real-time one
    for (size_t i = 0; i < plans.size(); i++) {
        const plan &p = plans[i];
        std::string dir = scratchpath("plan" + std::to_string(i));
        mkdir(dir.c_str(), 0755);
        writebytes(dir + "/map.gmv", {'o', 'l', 'd'});
        EXPECT_EQ(writerchild(dir + "/map.gmv", p), p.endedby) << p.what;
        EXPECT_EQ(listdir(dir), std::vector<std::string>{"map.gmv"}) << p.what;
        std::vector<uint8_t> content = readbytes(dir + "/map.gmv");
        EXPECT_EQ(std::string(content.begin(), content.end()), p.endedby ? "old" : "partial") << p.what;
    }
    char why[safemessagesize];
    ASSERT_EQ(safereplace(scratchpath("x").c_str(), "x", 1, why, sizeof why), 1) << why;
    for (int sig = 1; sig < NSIG; sig++)
        if (seen[sig]) {
            ASSERT_EQ(sigaction(sig, nullptr, &after), 0);
            EXPECT_EQ(after.sa_handler, before[sig].sa_handler) << strsignal(sig);
        }
}
