// txtool: one function per subcommand; each gets the words after its name.
#pragma once

struct txcommand {
    const char *name;
    const char *usage;              // printed by "txtool" without arguments
    int (*run)(int argc, char **argv);
};

int txeval(int argc, char **argv);
int txlist(int argc, char **argv);
int txshow(int argc, char **argv);
int txmake(int argc, char **argv);
int txrender(int argc, char **argv);
