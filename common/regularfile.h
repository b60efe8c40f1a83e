// Opening a file for reading when, and only when, it is a regular file: a
// directory, device, FIFO or socket is refused at once, never waited on.
#pragma once
#include <cstddef>
#include <cstdio>

// Opens path for reading. Returns the descriptor, or -1 with the reason
// alone ("No such file or directory", "it is a directory, not a regular
// file") in why.
int openregular(const char *path, char *why, size_t whysize);

// The same as a stream for binary reading; null with the reason in why.
std::FILE *fopenregular(const char *path, char *why, size_t whysize);

// "a directory", "a FIFO", ... for a file type from stat's st_mode.
const char *filekind(unsigned mode);
