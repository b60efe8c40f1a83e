// Scratch files for tests: one directory per test process, made on first
// use and removed when the process ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A path in the scratch directory; while a test runs, its name comes first,
// so the tests of one process never share a file by accident.
std::string scratchpath(const std::string &name);

// Writes the bytes (none makes an empty file); a failure is recorded as a
// test failure and gives false.
bool writebytes(const std::string &path, const std::vector<uint8_t> &bytes);

// The whole file; empty when it cannot be read.
std::vector<uint8_t> readbytes(const std::string &path);

// Whether anything is at path (a dangling symbolic link counts).
bool fileexists(const std::string &path);

// Names in a directory without "." and ".."; empty when it cannot be read.
std::vector<std::string> listdir(const std::string &dir);
