// The signal clean-up table, through the safe writer: every signal that
// ends a process by default, found by asking the system, ends a writer by
// that signal and leaves no temporary file; what the process ignores or
// handles itself is left to it.
#include "safefile.h"
#include "sigclean.h"

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A child as a program starts: every signal at its default (a sanitizer's
// handlers included), and no core file from the signals that dump one.
void plainchild()
{
    for (int sig = 1; sig < NSIG; sig++)
        if (sig != SIGKILL && sig != SIGSTOP)
            signal(sig, SIG_DFL);
    rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    prctl(PR_SET_DUMPABLE, 0);
}

// Forks a child that starts as a program does, runs ready() and says so,
// lives through the signals the parent sends then, and exits with what
// rest() gives. Returns the signal that ended it, 0 when it exited with 0,
// 100 + its exit code otherwise, -1 when a signal only stopped it.
int signalledchild(const std::function<void()> &ready, const std::vector<int> &signals,
                   const std::function<int()> &rest)
{
    int up[2], go[2];
    if (pipe(up) != 0 || pipe(go) != 0)
        return -2;
    pid_t child = fork();
    if (child == 0) {
        plainchild();
        ready();
        char c = 'r';
        if (write(up[1], &c, 1) != 1 || read(go[0], &c, 1) != 1)
            _exit(2);
        _exit(rest());
    }
    char c;
    if (read(up[0], &c, 1) == 1) {
        for (int sig : signals)
            kill(child, sig);   // pending before the child reads "go"
        if (write(go[1], "g", 1) != 1)
            kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    bool stopped = WIFSTOPPED(status);   // SIGTSTP and the like stop, they do not end
    if (stopped) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    for (int fd : {up[0], up[1], go[0], go[1]})
        close(fd);
    if (stopped)
        return -1;
    if (WIFSIGNALED(status))
        return WTERMSIG(status);
    return WEXITSTATUS(status) == 0 ? 0 : 100 + WEXITSTATUS(status);
}

// The system's own answer: does sig, at its default, end a process?
bool endsaprocess(int sig)
{
    return signalledchild([] {}, {sig}, [] { return 0; }) == sig;
}

extern "C" void countsignal(int)
{
}

struct writerplan {
    void (*before)();          // in the child, before the file is opened
    std::vector<int> signals;  // sent by the parent once the bytes are written
    void (*during)();          // in the child after them, before the commit
    size_t extra;              // bytes after "partial" (past a write-out step)
};

// A child opens path, writes "partial" and the extra bytes, lives through
// the signals and the plan's own step, and commits (0).
int signalledwriter(const std::string &path, const writerplan &plan)
{
    static safefile f;
    auto open = [&] {
        if (plan.before)
            plan.before();
        safeopen(f, path.c_str());
        safewrite(f, "partial", 7);
        std::string more(plan.extra, 'x');
        safewrite(f, more.data(), more.size());
    };
    auto commit = [&] {
        if (plan.during)
            plan.during();
        return safecommit(f) ? 0 : 1;
    };
    return signalledchild(open, plan.signals, commit);
}

// A fresh directory holding map.gmv with "old" in it.
std::string oldmap(const std::string &name)
{
    std::string dir = scratchpath(name);
    mkdir(dir.c_str(), 0755);
    writebytes(dir + "/map.gmv", {'o', 'l', 'd'});
    return dir;
}

std::string text(const std::vector<uint8_t> &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

// Every signal whose default action ends a process ends the writer by that
// signal, removes the temporary file and leaves the old one; SIGXFSZ is
// ignored while the file is open, so the write goes on to its end.
TEST(sigclean, everyEndingSignalRemovesTheTemporaryFile)
{
    int ending = 0;
    for (int sig = 1; sig <= SIGRTMAX; sig++) {
        struct sigaction now;
        if (sig == SIGKILL || sigaction(sig, nullptr, &now) != 0 || !endsaprocess(sig))
            continue;   // SIGKILL, and those the C library keeps for its threads, reach no program
        ending++;
        std::string dir = oldmap("sig" + std::to_string(sig));
        int endedby = signalledwriter(dir + "/map.gmv", {nullptr, {sig}, nullptr, 0});
        if (sig == SIGXFSZ) {
            EXPECT_EQ(endedby, 0);
            EXPECT_EQ(text(readbytes(dir + "/map.gmv")), "partial");
        } else {
            EXPECT_EQ(endedby, sig) << strsignal(sig);
            EXPECT_EQ(text(readbytes(dir + "/map.gmv")), "old") << strsignal(sig);
        }
        EXPECT_EQ(listdir(dir), std::vector<std::string>{"map.gmv"}) << strsignal(sig);
    }
    EXPECT_GE(ending, 20 + SIGRTMAX - SIGRTMIN);   // the classic ones and every real-time one
}

// Signals the process ignores (nohup, a background job) or handles itself
// are left to it; a pipe broken under a writer, a fault, or a signal in the
// middle of a write-out end it without a temporary file.
TEST(sigclean, ignoredHandledAndRealSignals)
{
    struct row {
        const char *what;
        writerplan plan;
        int endedby;          // 0: committed
        const char *content;
    } rows[] = {
        {"SIGINT ignored before", {[] { signal(SIGINT, SIG_IGN); }, {SIGINT}, nullptr, 0}, 0, "partial"},
        {"SIGINT ignored, then SIGTERM",
         {[] { signal(SIGINT, SIG_IGN); }, {SIGINT, SIGTERM}, nullptr, 0}, SIGTERM, "old"},
        {"SIGUSR1 handled by the program", {[] { signal(SIGUSR1, countsignal); }, {SIGUSR1}, nullptr, 0}, 0,
         "partial"},
        {"SIGTERM past a write-out step", {nullptr, {SIGTERM}, nullptr, safesyncstep + safebuffersize}, SIGTERM,
         "old"},
        {"writing into a pipe nobody reads", {nullptr, {}, [] {
             int ends[2];
             if (pipe(ends) == 0 && close(ends[0]) == 0 && write(ends[1], "x", 1) < 0)
                 _exit(3);   // SIGPIPE did not end it
         }, 0}, SIGPIPE, "old"},
        {"a fault of the processor", {nullptr, {}, [] {
             void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
             *static_cast<volatile int *>(page) = 1;
         }, 0}, SIGSEGV, "old"},
    };
    int n = 0;
    for (const row &r : rows) {
        std::string dir = oldmap("row" + std::to_string(n++));
        EXPECT_EQ(signalledwriter(dir + "/map.gmv", r.plan), r.endedby) << r.what;
        EXPECT_EQ(listdir(dir), std::vector<std::string>{"map.gmv"}) << r.what;
        EXPECT_EQ(text(readbytes(dir + "/map.gmv")), r.content) << r.what;
    }
}

// Once the last file is committed every disposition is what it was.
TEST(sigclean, dispositionsComeBackAfterTheLastFile)
{
    struct sigaction before[NSIG], after[NSIG];
    bool seen[NSIG];
    for (int sig = 1; sig < NSIG; sig++)
        seen[sig] = sigaction(sig, nullptr, &before[sig]) == 0;
    char why[600];
    ASSERT_EQ(safereplace(scratchpath("x").c_str(), "x", 1, why, sizeof why), 1) << why;
    for (int sig = 1; sig < NSIG; sig++)
        if (seen[sig]) {
            ASSERT_EQ(sigaction(sig, nullptr, &after[sig]), 0);
            EXPECT_EQ(after[sig].sa_handler, before[sig].sa_handler) << strsignal(sig);
        }
}
