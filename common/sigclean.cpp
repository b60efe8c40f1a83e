// The signal clean-up table: which signals are caught, the handler, and the
// slots it reads.
#include "sigclean.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

sigcleanstate sigclean;

namespace {

// Slot states, as the handler sees them.
enum : int { slotfree = 0, slotclaimed = 1, slotlive = 2, slotremoved = 3 };

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<void (*)(int, int)>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// What the table does with a signal whose default action ends the process.
enum : unsigned char {
    leave = 0,   // not ours: a signal that ends nothing, or SIGKILL and SIGSTOP
    reraise,     // remove the files, then raise it again at its default
    refault,     // the same, but a processor fault is left to happen again
    ignore,      // ignored while files are entered
};

// The signals whose default action ends the process (signal(7)); the
// real-time signals SIGRTMIN..SIGRTMAX are added to them.
const struct {
    int sig;
    unsigned char how;
} endings[] = {
    {SIGHUP, reraise},    {SIGINT, reraise},    {SIGQUIT, reraise},   {SIGILL, refault},
    {SIGTRAP, reraise},   {SIGABRT, reraise},   {SIGBUS, refault},    {SIGFPE, refault},
    {SIGUSR1, reraise},   {SIGSEGV, refault},   {SIGUSR2, reraise},   {SIGPIPE, reraise},
    {SIGALRM, reraise},   {SIGTERM, reraise},   {SIGSTKFLT, reraise}, {SIGXCPU, reraise},
    {SIGXFSZ, ignore},    {SIGVTALRM, reraise}, {SIGPROF, reraise},   {SIGIO, reraise},
    {SIGPWR, reraise},    {SIGSYS, reraise},
};

void fillendings()
{
    for (const auto &e : endings)
        sigclean.how[e.sig] = e.how;
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        sigclean.how[sig] = reraise;
}

// Removes every live file; returns how many.
int removeall()
{
    int removed = 0;
    for (int i = 0; i < cleanslots; i++) {
        int expected = slotlive;
        if (sigclean.state[i].compare_exchange_strong(expected, slotremoved))
            removed += unlink(sigclean.path[i]) == 0;
    }
    return removed;
}

extern "C" void oncleansignal(int sig, siginfo_t *info, void *)
{
    int saved = errno;
    int removed = removeall();
    void (*note)(int, int) = sigclean.note.load();
    if (note && !sigclean.noted.exchange(true))
        note(sig, removed);
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    // Sent by a process (si_code <= 0): send it again; it is blocked until
    // we return. A fault of the processor comes back by itself.
    if (sigclean.how[sig] != refault || info->si_code <= 0)
        raise(sig);
    errno = saved;
}

bool isours(const struct sigaction &a)
{
    return (a.sa_flags & SA_SIGINFO) && a.sa_sigaction == oncleansignal;
}

bool atdefault(const struct sigaction &a)
{
    return !(a.sa_flags & SA_SIGINFO) && a.sa_handler == SIG_DFL;
}

// First user: catch (or ignore) every ending signal still at its default.
// Called with the lock held.
void install()
{
    if (sigclean.how[SIGHUP] == leave)
        fillendings();
    sigemptyset(&sigclean.caught);
    for (int sig = 1; sig < NSIG; sig++)
        if (sigclean.how[sig] == reraise || sigclean.how[sig] == refault)
            sigaddset(&sigclean.caught, sig);
    struct sigaction ours = {};
    ours.sa_sigaction = oncleansignal;
    ours.sa_mask = sigclean.caught;
    ours.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    struct sigaction ignored = {};
    ignored.sa_handler = SIG_IGN;
    sigemptyset(&ignored.sa_mask);
    for (int sig = 1; sig < NSIG; sig++) {
        struct sigaction now;
        sigclean.installed[sig] = false;
        if (sigclean.how[sig] == leave || sigaction(sig, nullptr, &now) != 0 || !atdefault(now))
            continue;
        sigclean.installed[sig] = sigaction(sig, sigclean.how[sig] == ignore ? &ignored : &ours, nullptr) == 0;
    }
}

// Last user gone: every signal we changed and nobody changed since goes
// back to its default. Called with the lock held.
void uninstall()
{
    for (int sig = 1; sig < NSIG; sig++) {
        struct sigaction now;
        if (!sigclean.installed[sig] || sigaction(sig, nullptr, &now) != 0)
            continue;
        bool still = sigclean.how[sig] == ignore ? !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN
                                                 : isours(now);
        if (still)
            signal(sig, SIG_DFL);
        sigclean.installed[sig] = false;
    }
}

void adduser()
{
    if (sigclean.users++ == 0)
        install();
}

void dropuser()
{
    if (--sigclean.users == 0)
        uninstall();
}

} // namespace

int cleanclaim()
{
    std::lock_guard<std::mutex> hold(sigclean.lock);
    for (int i = 0; i < cleanslots; i++) {
        int expected = slotfree;
        if (sigclean.state[i].compare_exchange_strong(expected, slotclaimed)) {
            adduser();
            return i;
        }
    }
    return -1;
}

int cleancreate(int slot, const char *path, unsigned mode)
{
    if (std::strlen(path) >= size_t(cleanpathmax)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(sigclean.path[slot], path);
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &sigclean.caught, &old);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    int err = errno;
    if (fd >= 0)
        sigclean.state[slot].store(slotlive);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = err;
    return fd;
}

bool cleanremoved(int slot)
{
    return sigclean.state[slot].load() == slotremoved;
}

void cleanrelease(int slot, bool remove)
{
    int expected = slotlive;
    if (sigclean.state[slot].compare_exchange_strong(expected, slotclaimed) && remove)
        unlink(sigclean.path[slot]);
    std::lock_guard<std::mutex> hold(sigclean.lock);
    sigclean.state[slot].store(slotfree);
    dropuser();
}

void cleannote(void (*note)(int sig, int removed))
{
    std::lock_guard<std::mutex> hold(sigclean.lock);
    bool had = sigclean.note.exchange(note) != nullptr;
    if (note && !had)
        adduser();
    else if (!note && had)
        dropuser();
}
