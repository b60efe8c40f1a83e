// Replacing a file safely, and opening one for reading without surprises.
//
// A file is never written in place: the new contents go to a temporary file
// beside the target, created exclusively under a name nobody can predict
// (O_CREAT | O_EXCL, so never through a symbolic link, and never shared by
// two writers), then flushed, synced and renamed over the target, and the
// directory synced. Until the rename the previous file stays as it was; on
// any failure, and on SIGINT, SIGTERM or SIGHUP while a file is open, the
// temporary file is removed. A target that exists but is not a regular file
// (a directory, device, FIFO or socket) is never replaced. A symbolic link
// at the target is followed for that check and then itself replaced by the
// new file; the file it pointed to is left alone. The new file gets the mode
// the umask gives any new file.
//
//   safeopen    create the temporary file for a target
//   safewrite   append bytes (buffered; any amount, any number of calls)
//   safecommit  flush, sync and rename: the target now holds the bytes
//   safeabort   give up and remove the temporary file
//   safereplace the four in one for a whole buffer
//
// A large file is synced as it grows: every safesyncstep bytes a thread of
// its own syncs what has been written so far, so the commit only waits for
// the rest (syncing is mostly waiting for the disk; the writer goes on).
//
// While any file is open, SIGXFSZ is ignored (a file-size limit makes the
// write fail with EFBIG instead of killing the process), and a signal that
// was ignored before (nohup, a background job) stays ignored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <pthread.h>

constexpr int safepathmax = 4096;                   // longest target path, its NUL included
constexpr int safemessagesize = safepathmax + 200;   // "cannot ... PATH: " and the reason
constexpr size_t safebuffersize = size_t(1) << 16;
constexpr int safeopenmax = 64;                     // files being written at once in one process
constexpr uint64_t safesyncstep = uint64_t(4) << 20;

struct safefile {
    int fd;                          // the temporary file, -1 when none is open
    int slot;                        // its entry in the table the signal handler cleans
    int error;                       // errno of the first failure, 0 while all is well
    uint64_t written;                // bytes taken by safewrite since safeopen
    uint64_t handed;                 // bytes handed to the system
    uint64_t syncedupto;             // handed when the last sync ahead started
    bool syncing;                    // a sync ahead was started and not yet joined
    pthread_t syncer;
    int syncfd;                      // its own descriptor of the temporary file
    int syncerror;                   // errno of its sync, read after the join
    size_t buffered;                 // bytes waiting in buffer
    char path[safepathmax];          // the target
    char temppath[safepathmax];
    char message[safemessagesize];   // why the last open or commit failed ("" when none did)
    char reason[160];                // the same without the file: "No space left on device"
    uint8_t buffer[safebuffersize];
};

// Creates the temporary file for path. Returns 1, or 0 with the reason in
// f.message (the target is not a regular file, the name is too long, the
// directory cannot be written, too many files open at once).
int safeopen(safefile &f, const char *path);

// Appends size bytes. Returns 1, or 0 once a write has failed (the failure
// is reported by safecommit; later writes are ignored).
int safewrite(safefile &f, const void *bytes, size_t size);

// Flushes, syncs, closes and renames the temporary file over the target.
// Returns 1 when the target holds exactly the bytes written; 0 with the
// reason in f.message, the temporary file removed and the target untouched.
int safecommit(safefile &f);

// Closes and removes the temporary file, if one is open.
void safeabort(safefile &f);

// The whole sequence for bytes already in memory. Returns 1, or 0 with the
// reason (naming the file) in why.
int safereplace(const char *path, const void *bytes, size_t size, char *why, size_t whysize);

// Opens path for reading when it names a regular file; a directory, device,
// FIFO or socket is refused without waiting on it. Returns the descriptor,
// or -1 with the reason alone ("No such file or directory", "it is a
// directory") in why.
int openregular(const char *path, char *why, size_t whysize);

// The same as a stream for binary reading; null with the reason in why.
std::FILE *fopenregular(const char *path, char *why, size_t whysize);

// "a directory", "a FIFO", ... for a file type from stat's st_mode.
const char *filekind(unsigned mode);
