// The run log "vrastik.log" and console messages.
#pragma once
#include <cstddef>

constexpr size_t messagesize = 256;

struct runlogstate {
    const char *path;            // "vrastik.log" in the current directory
    char message[messagesize];   // the shared message buffer
};
extern runlogstate runlog;

// Append one time-stamped entry without console echo.
void logline(const char *text);

// Format into the message buffer, echo it with "%s\n" and append it as an
// entry. The console echo happens even when the log cannot be opened.
// Returns 0 when the entry was written.
int logmessage(const char *format, ...) __attribute__((format(printf, 1, 2)));

// "|====   | 42%\r"
void printprogress(int percent);

// While set, a signal that ends the run leaves a line in the log:
// "...stopped by SIGPIPE (Broken pipe)", and ": MAP left as it was" when the
// map's temporary file was being written (and so removed). Null stops it.
void logsignals(const char *mapname);
