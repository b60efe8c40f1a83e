// Safe file replacement: exclusive temporary file, sync, rename, cleanup on
// failure and on the terminating signals.
#include "safefile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Signals that end the process and would leave the temporary file behind.
const int caughtsignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int caughtcount = int(sizeof caughtsignals / sizeof caughtsignals[0]);

// Slot states, as the signal handler sees them.
enum : int { slotfree = 0, slotclaimed = 1, slotlive = 2, slotremoved = 3 };

// Everything the signal handler needs, and the dispositions it replaced.
struct safefilestate {
    std::atomic<int> state[safeopenmax];
    std::atomic<const char *> temppath[safeopenmax];
    std::mutex lock;                          // guards the fields below
    int open;                                 // files open in this process
    struct sigaction previous[caughtcount];   // what each caught signal did before
    bool installed[caughtcount];
    struct sigaction previousxfsz;
    std::atomic<uint64_t> counter;            // mixes into names when getrandom fails
};

safefilestate safefiles;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const char *>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// Removes every live temporary file, then lets the signal do what it did
// before our handler was installed.
extern "C" void onsafesignal(int sig)
{
    int saved = errno;
    for (int i = 0; i < safeopenmax; i++) {
        int expected = slotlive;
        if (safefiles.state[i].compare_exchange_strong(expected, slotremoved))
            unlink(safefiles.temppath[i].load());
    }
    for (int k = 0; k < caughtcount; k++)
        if (caughtsignals[k] == sig)
            sigaction(sig, &safefiles.previous[k], nullptr);
    raise(sig);   // blocked until we return, then delivered as before
    errno = saved;
}

bool ourhandler(const struct sigaction &a)
{
    return !(a.sa_flags & SA_SIGINFO) && a.sa_handler == onsafesignal;
}

// First file opened: catch the terminating signals that are not ignored,
// and ignore SIGXFSZ. Called with the lock held.
void installhandlers()
{
    struct sigaction ours = {};
    ours.sa_handler = onsafesignal;
    sigemptyset(&ours.sa_mask);
    for (int sig : caughtsignals)
        sigaddset(&ours.sa_mask, sig);
    ours.sa_flags = SA_RESTART;
    for (int k = 0; k < caughtcount; k++) {
        safefiles.installed[k] = false;
        if (sigaction(caughtsignals[k], nullptr, &safefiles.previous[k]) != 0)
            continue;
        if (!(safefiles.previous[k].sa_flags & SA_SIGINFO) && safefiles.previous[k].sa_handler == SIG_IGN)
            continue;   // ignored when we came: stays ignored
        safefiles.installed[k] = sigaction(caughtsignals[k], &ours, nullptr) == 0;
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &safefiles.previousxfsz);
}

// Last file closed: everything as it was. Called with the lock held.
void restorehandlers()
{
    for (int k = 0; k < caughtcount; k++) {
        struct sigaction now;
        if (safefiles.installed[k] && sigaction(caughtsignals[k], nullptr, &now) == 0 && ourhandler(now))
            sigaction(caughtsignals[k], &safefiles.previous[k], nullptr);
        safefiles.installed[k] = false;
    }
    sigaction(SIGXFSZ, &safefiles.previousxfsz, nullptr);
}

// A free slot of the table, or -1 when safeopenmax files are open.
int claimslot()
{
    std::lock_guard<std::mutex> hold(safefiles.lock);
    for (int i = 0; i < safeopenmax; i++) {
        int expected = slotfree;
        if (safefiles.state[i].compare_exchange_strong(expected, slotclaimed)) {
            if (safefiles.open++ == 0)
                installhandlers();
            return i;
        }
    }
    return -1;
}

void releaseslot(int slot)
{
    std::lock_guard<std::mutex> hold(safefiles.lock);
    safefiles.temppath[slot].store(nullptr);
    safefiles.state[slot].store(slotfree);
    if (--safefiles.open == 0)
        restorehandlers();
}

int failwith(safefile &f, const char *what, const char *reason)
{
    std::snprintf(f.reason, sizeof f.reason, "%s", reason);
    std::snprintf(f.message, sizeof f.message, "cannot %s %s: %s", what, f.path, f.reason);
    return 0;
}

// Eight letters and digits nobody can guess.
void randomsuffix(char out[9])
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t bytes[8];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        uint64_t x = uint64_t(t.tv_nsec) ^ uint64_t(t.tv_sec) << 30 ^ uint64_t(getpid()) << 20 ^
                     safefiles.counter.fetch_add(0x9E3779B97F4A7C15u);
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
        for (int i = 0; i < 8; i++)
            bytes[i] = uint8_t(x >> (8 * i));
    }
    for (int i = 0; i < 8; i++)
        out[i] = letters[bytes[i] % 62];
    out[8] = 0;
}

// "dir/name.Xk3p9QaZ.tmp" beside the target; a long name is cut so the
// temporary name still fits in one directory entry.
bool maketempname(const safefile &f, char *out)
{
    const char *slash = std::strrchr(f.path, '/');
    size_t dirlength = slash ? size_t(slash - f.path) + 1 : 0;
    size_t namelength = std::strlen(f.path + dirlength);
    const size_t suffix = 13;   // ".XXXXXXXX.tmp"
    if (namelength > NAME_MAX - suffix)
        namelength = NAME_MAX - suffix;
    char letters[9];
    randomsuffix(letters);
    int n = std::snprintf(out, safepathmax, "%.*s%.*s.%s.tmp", int(dirlength), f.path, int(namelength),
                          f.path + dirlength, letters);
    return n > 0 && n < safepathmax;
}

// Creates the temporary file; the signals are held off until the handler
// knows its name, so no signal can leave it behind.
int createtemp(safefile &f)
{
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : caughtsignals)
        sigaddset(&block, sig);
    for (int attempt = 0; attempt < 100; attempt++) {
        if (!maketempname(f, f.temppath)) {
            errno = ENAMETOOLONG;
            return -1;
        }
        pthread_sigmask(SIG_BLOCK, &block, &old);
        int fd = open(f.temppath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            safefiles.temppath[f.slot].store(f.temppath);
            safefiles.state[f.slot].store(slotlive);
        }
        int err = errno;
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (fd >= 0 || err != EEXIST) {
            errno = err;
            return fd;
        }
    }
    return -1;
}

bool writeall(int fd, const uint8_t *p, size_t size, int &error)
{
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

void *syncahead(void *arg)
{
    safefile &f = *static_cast<safefile *>(arg);
    f.syncerror = fdatasync(f.syncfd) == 0 ? 0 : errno;
    close(f.syncfd);
    return nullptr;
}

// Waits for the sync ahead, if one runs; a failure of it is the file's.
void joinsync(safefile &f)
{
    if (!f.syncing)
        return;
    pthread_join(f.syncer, nullptr);
    f.syncing = false;
    if (f.syncerror && f.error == 0)
        f.error = f.syncerror;
}

// Another safesyncstep handed to the system: sync it on a thread of its own
// when the last such sync is done. The thread blocks every signal, so the
// caught ones keep reaching the writer.
void maybesyncahead(safefile &f)
{
    if (f.handed - f.syncedupto < safesyncstep || f.error)
        return;
    if (f.syncing) {
        if (pthread_tryjoin_np(f.syncer, nullptr) != 0)
            return;   // still syncing: the next step will try again
        f.syncing = false;
        if (f.syncerror) {
            f.error = f.syncerror;
            return;
        }
    }
    f.syncfd = fcntl(f.fd, F_DUPFD_CLOEXEC, 0);
    if (f.syncfd < 0)
        return;       // the commit syncs everything itself
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    f.syncing = pthread_create(&f.syncer, nullptr, syncahead, &f) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (f.syncing)
        f.syncedupto = f.handed;
    else
        close(f.syncfd);
}

bool handover(safefile &f, const uint8_t *p, size_t size)
{
    if (f.error || !writeall(f.fd, p, size, f.error))
        return false;
    f.handed += size;
    maybesyncahead(f);
    return true;
}

bool flushbuffer(safefile &f)
{
    bool ok = handover(f, f.buffer, f.buffered);
    f.buffered = 0;
    return ok;
}

// Syncs the directory that holds path, so the rename itself is on disk.
int syncdirectory(const char *path)
{
    char dir[safepathmax];
    const char *slash = std::strrchr(path, '/');
    if (!slash)
        std::strcpy(dir, ".");
    else if (slash == path)
        std::strcpy(dir, "/");
    else
        std::snprintf(dir, sizeof dir, "%.*s", int(slash - path), path);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;   // nothing to sync through (no read access): the rename stands
    int err = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return err;
}

// Ends the file's life in the table, removing the temporary file unless it
// was renamed or a signal removed it.
void closetemp(safefile &f, bool remove)
{
    joinsync(f);
    if (f.fd >= 0)
        close(f.fd);
    if (remove && safefiles.state[f.slot].load() == slotlive)
        unlink(f.temppath);
    releaseslot(f.slot);
    f.fd = -1;
    f.slot = -1;
}

} // namespace

const char *filekind(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a directory";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFIFO: return "a FIFO";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a regular file";
    }
}

int safeopen(safefile &f, const char *path)
{
    f.fd = -1;
    f.slot = -1;
    f.error = 0;
    f.written = 0;
    f.handed = 0;
    f.syncedupto = 0;
    f.syncing = false;
    f.buffered = 0;
    f.message[0] = 0;
    f.reason[0] = 0;
    f.temppath[0] = 0;
    if (std::strlen(path) >= sizeof f.path) {
        std::snprintf(f.path, sizeof f.path, "%.200s...", path);
        char reason[80];
        std::snprintf(reason, sizeof reason, "the name is longer than %d characters", safepathmax - 1);
        return failwith(f, "write", reason);
    }
    std::strcpy(f.path, path);
    if (!path[0])
        return failwith(f, "write", "the name is empty");
    struct stat st;
    if (stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            char reason[80];
            std::snprintf(reason, sizeof reason, "it is %s, not a regular file", filekind(st.st_mode));
            return failwith(f, "write", reason);
        }
    } else if (errno != ENOENT) {
        return failwith(f, "write", std::strerror(errno));
    }
    f.slot = claimslot();
    if (f.slot < 0)
        return failwith(f, "write", "too many files are being written at once");
    f.fd = createtemp(f);
    if (f.fd < 0) {
        int err = errno;
        releaseslot(f.slot);
        f.slot = -1;
        return failwith(f, "create", std::strerror(err));
    }
    return 1;
}

int safewrite(safefile &f, const void *bytes, size_t size)
{
    if (f.fd < 0 || f.error)
        return 0;
    const uint8_t *p = static_cast<const uint8_t *>(bytes);
    f.written += size;
    if (size <= safebuffersize - f.buffered) {
        std::memcpy(f.buffer + f.buffered, p, size);
        f.buffered += size;
        return 1;
    }
    if (!flushbuffer(f))
        return 0;
    if (size >= safebuffersize)
        return handover(f, p, size) ? 1 : 0;
    std::memcpy(f.buffer, p, size);
    f.buffered = size;
    return 1;
}

int safecommit(safefile &f)
{
    if (f.fd < 0)
        return failwith(f, "write", "no file is open");
    flushbuffer(f);
    joinsync(f);
    if (f.error == 0 && fsync(f.fd) != 0)
        f.error = errno;
    if (close(f.fd) != 0 && f.error == 0)
        f.error = errno;
    f.fd = -1;
    if (f.error == 0 && safefiles.state[f.slot].load() == slotremoved)
        f.error = EINTR;   // a signal took the temporary file away
    if (f.error == 0 && rename(f.temppath, f.path) != 0)
        f.error = errno;
    if (f.error) {
        int err = f.error;
        closetemp(f, true);
        return failwith(f, "write", std::strerror(err));
    }
    closetemp(f, false);
    int err = syncdirectory(f.path);
    if (err)
        return failwith(f, "sync the directory of", std::strerror(err));
    return 1;
}

void safeabort(safefile &f)
{
    if (f.slot >= 0)
        closetemp(f, true);
}

int safereplace(const char *path, const void *bytes, size_t size, char *why, size_t whysize)
{
    static thread_local safefile f;
    int ok = safeopen(f, path);
    if (ok) {
        safewrite(f, bytes, size);   // a failed write is reported by the commit
        ok = safecommit(f);
    }
    if (!ok)
        std::snprintf(why, whysize, "%s", f.message);
    return ok;
}

int openregular(const char *path, char *why, size_t whysize)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        std::snprintf(why, whysize, "it is %s, not a regular file", filekind(st.st_mode));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::FILE *fopenregular(const char *path, char *why, size_t whysize)
{
    int fd = openregular(path, why, whysize);
    if (fd < 0)
        return nullptr;
    std::FILE *f = fdopen(fd, "rb");
    if (!f) {
        std::snprintf(why, whysize, "%s", std::strerror(errno));
        close(fd);
    }
    return f;
}
