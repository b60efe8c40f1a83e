#include "support/command.h"

#include <cstdio>
#include <sys/wait.h>

int runcommand(const std::string &command, std::string *output)
{
    output->clear();
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        output->append(buffer, got);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
