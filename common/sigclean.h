// The signal clean-up table: files to remove when a signal ends the process
// (the safe writer's temporary files; git keeps the same job in sigchain.c
// and tempfile.c).
//
// While a file is entered here, or a note is set, every signal whose default
// action ends the process and that is still at that default is caught. The
// handler removes every entered file, calls the note, and lets the signal
// end the process as it would have, core dump included: a signal sent by a
// process is raised again, and a fault of the processor (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) happens again when the handler returns, so a core file or
// a debugger sees the real one. SIGXFSZ is ignored instead, so a file-size
// limit makes the write fail with EFBIG rather than kill. A signal that the
// process ignores (nohup, a background job) or handles itself is left alone.
// When the last file is given back and no note is set, every signal is as it
// was.
#pragma once
#include <atomic>
#include <csignal>
#include <mutex>

constexpr int cleanslots = 64;       // files entered at once in one process
constexpr int cleanpathmax = 4096;   // longest path, its NUL included

// Claims a slot for a file about to be created, catching the signals.
// Returns the slot, or -1 when all cleanslots are in use.
int cleanclaim();

// Creates path exclusively for writing (O_CREAT | O_EXCL | O_NOFOLLOW) with
// the given mode, entered in the slot before any caught signal can arrive, so
// no signal leaves it behind. Returns the descriptor, or -1 with errno set.
int cleancreate(int slot, const char *path, unsigned mode);

// Whether a signal has removed the slot's file.
bool cleanremoved(int slot);

// Gives the slot back, first removing its file when remove is true and the
// file is still there.
void cleanrelease(int slot, bool remove);

// Sets the function the handler calls once, after the files are removed,
// with the signal and the number of files it removed; it must be safe in a
// signal handler (write(2); no stdio, no allocation). While one is set the
// signals stay caught with no file entered. Null takes it away.
void cleannote(void (*note)(int sig, int removed));

// Everything the handler reads, and what was changed to catch the signals.
struct sigcleanstate {
    std::atomic<int> state[cleanslots];       // see sigclean.cpp
    char path[cleanslots][cleanpathmax];      // copies: the handler follows no caller's pointer
    std::atomic<void (*)(int, int)> note;
    std::atomic<bool> noted;                  // the note was called: once per process
    std::mutex lock;                          // guards the fields below
    int users;                                // slots claimed, and one for a note
    unsigned char how[NSIG];                  // per signal: what the table does with it
    bool installed[NSIG];                     // changed by us, to be put back
    sigset_t caught;                          // blocked while a file is being created
};
extern sigcleanstate sigclean;
