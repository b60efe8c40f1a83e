// Safe file replacement: exclusive temporary file, write-out as it grows,
// sync, rename; removed on failure and, through sigclean, on the signals.
#include "safefile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<uint64_t> namecounter;   // mixes into names when getrandom fails

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
                     namecounter.fetch_add(0x9E3779B97F4A7C15u);
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

// The temporary file under a fresh name, entered in the clean-up table.
int createtemp(safefile &f, unsigned mode)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        if (!maketempname(f, f.temppath)) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = cleancreate(f.slot, f.temppath, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The replaced file's owner and group pass to the new one when the system
// allows it (root; for others a group they belong to), then its mode, set
// after the owner since a change of owner clears set-user-ID. A file system
// without owners or modes keeps the new file's own.
void keepownerandmode(int fd, const struct stat &old)
{
    if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, uid_t(-1), old.st_gid) != 0) {
    }
    fchmod(fd, old.st_mode & 07777);
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

// Another safesyncstep handed to the system: start its write-out and go on
// without waiting. A failure shows again in the commit's fsync.
void writeahead(safefile &f)
{
    if (f.handed - f.syncedupto < safesyncstep || f.error)
        return;
    sync_file_range(f.fd, off64_t(f.syncedupto), off64_t(f.handed - f.syncedupto), SYNC_FILE_RANGE_WRITE);
    f.syncedupto = f.handed;
}

bool handover(safefile &f, const uint8_t *p, size_t size)
{
    if (f.error || !writeall(f.fd, p, size, f.error))
        return false;
    f.handed += size;
    writeahead(f);
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
    if (f.fd >= 0)
        close(f.fd);
    cleanrelease(f.slot, remove);
    f.fd = -1;
    f.slot = -1;
}

// Why the target may not be replaced, or null: it is not a regular file, or
// its user may not write it (the reason opening it for writing would give).
// Fills old when the target exists.
const char *refusal(const char *path, struct stat &old, bool &exists, char *reason, size_t size)
{
    exists = stat(path, &old) == 0;
    if (!exists)
        return errno == ENOENT ? nullptr : std::strerror(errno);
    if (!S_ISREG(old.st_mode)) {
        std::snprintf(reason, size, "it is %s, not a regular file", filekind(old.st_mode));
        return reason;
    }
    if (faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    return nullptr;
}

} // namespace

int safeopen(safefile &f, const char *path)
{
    f.fd = -1;
    f.slot = -1;
    f.error = 0;
    f.written = 0;
    f.handed = 0;
    f.syncedupto = 0;
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
    struct stat old;
    bool replacing = false;
    char reason[80];
    if (const char *why = refusal(path, old, replacing, reason, sizeof reason))
        return failwith(f, "write", why);
    f.slot = cleanclaim();
    if (f.slot < 0)
        return failwith(f, "write", "too many files are being written at once");
    // A replaced file's contents never sit in a file others may read more of.
    f.fd = createtemp(f, replacing ? 0600 : 0666);
    if (f.fd < 0) {
        int err = errno;
        cleanrelease(f.slot, false);
        f.slot = -1;
        return failwith(f, "create", std::strerror(err));
    }
    if (replacing)
        keepownerandmode(f.fd, old);
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
    if (f.error == 0 && fsync(f.fd) != 0)
        f.error = errno;
    if (close(f.fd) != 0 && f.error == 0)
        f.error = errno;
    f.fd = -1;
    if (f.error == 0 && cleanremoved(f.slot))
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
