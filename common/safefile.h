// Replacing a file safely.
//
// A file is never written in place: the new contents go to a temporary file
// beside the target, created exclusively under a name nobody can predict
// (O_CREAT | O_EXCL, so never through a symbolic link, and never shared by
// two writers), then flushed, synced and renamed over the target, and the
// directory synced. Until the rename the previous file stays as it was; on
// any failure, and on any signal that ends the process while a file is open
// (sigclean.h), the temporary file is removed. A target that exists but is
// not a regular file (a directory, device, FIFO or socket) is never
// replaced, nor one that its user may not write (a read-only file, for
// anyone but root): both are refused with the reason opening the target for
// writing would give. A symbolic link at the target is followed for those
// checks and then itself replaced by the new file; the file it pointed to is
// left alone. A replaced file keeps its mode and, when root replaces it, its
// owner and group; a new file gets the mode the umask gives any new file.
//
//   safeopen    create the temporary file for a target
//   safewrite   append bytes (buffered; any amount, any number of calls)
//   safecommit  flush, sync and rename: the target now holds the bytes
//   safeabort   give up and remove the temporary file
//   safereplace the four in one for a whole buffer
//
// A large file is written out as it grows: every safesyncstep bytes the
// system is asked to start writing what it was handed so far, without
// waiting (git does the same), so the commit's sync only waits for the rest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "regularfile.h"   // what the writer refuses, the reader refuses too
#include "sigclean.h"

constexpr int safepathmax = cleanpathmax;           // longest target path, its NUL included
constexpr int safemessagesize = safepathmax + 200;   // "cannot ... PATH: " and the reason
constexpr size_t safebuffersize = size_t(1) << 16;
constexpr int safeopenmax = cleanslots;             // files being written at once in one process
constexpr uint64_t safesyncstep = uint64_t(4) << 20;

struct safefile {
    int fd;                          // the temporary file, -1 when none is open
    int slot;                        // its entry in the table the signal handler cleans
    int error;                       // errno of the first failure, 0 while all is well
    uint64_t written;                // bytes taken by safewrite since safeopen
    uint64_t handed;                 // bytes handed to the system
    uint64_t syncedupto;             // handed when the last write-out started
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
