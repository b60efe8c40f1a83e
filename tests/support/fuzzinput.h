// For fuzz targets on readers that take a path: the input written to a file
// of the process's own, in memory where the system offers it.
#pragma once
#include <cstddef>
#include <cstdint>

// The file's path, rewritten with the bytes (the file is made on first use
// in /dev/shm, else $TMPDIR or /tmp, and removed at exit). Traps when the
// file cannot be written, since a harness fault must not pass as a clean run.
const char *fuzzinputfile(const uint8_t *data, size_t size);
