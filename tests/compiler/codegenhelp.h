// Helpers of the code generator tests: compile in a chosen flavour, expand
// golden byte strings, disassemble with objdump.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "compiler.h"

struct compiled {
    bool ok = false;
    std::string error;
    const unsigned char *code = nullptr;
    std::vector<unsigned char> bytes;
};

// Compile `text` in flavour f (the flavour is switched back to the native one).
compiled compileflavour(const char *text, exprflavour f);

// Expand a golden byte string: hex bytes ("DD 44 24 04"), "|" separators
// (ignored), "@" marking the pool start and placeholders for the absolute
// addresses the code refers to: {M1} {HALF} {ONE} {R15} (float constants),
// {RS} (random state), {FACT} {POW} {NRND} (routines), {POOL} (the pool of
// `code`). Addresses are 4 bytes in ia32 and 8 in x64.
std::vector<unsigned char> expandbytes(const char *golden, const unsigned char *code, exprflavour f);

// objdump's Intel-syntax instructions of the code part of a buffer (up to
// and including the first ud2), blanks collapsed; "objdump-missing" when the
// tool cannot run.
std::vector<std::string> disassemble(const std::vector<unsigned char> &bytes, exprflavour f);

// Split "a; b; c" into instruction patterns.
std::vector<std::string> splitinstructions(const char *list);

// Does `text` match `pattern`, where "*" stands for any run of characters?
bool wildmatch(const char *pattern, const char *text);

std::string hexdump(const std::vector<unsigned char> &bytes);
