// Programs run as a user runs them, through the shell.
#pragma once
#include <string>

// Runs a shell command; returns its exit code (-1 when it did not exit
// normally, so a crash never passes for an exit code) and its standard output.
int runcommand(const std::string &command, std::string *output);
