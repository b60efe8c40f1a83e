#include "runlog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

runlogstate runlog = {"vrastik.log", {}};

// One entry: local time, a blank, the text, a line feed; one formatted write
// between open and close, so concurrent runs never interleave inside a line.
static int appendentry(const char *text)
{
    FILE *f = std::fopen(runlog.path, "a+");
    if (!f)
        return -1;
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    std::fprintf(f, "%i-%02i-%02i %02i:%02i:%02i %s\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                 t.tm_hour, t.tm_min, t.tm_sec, text);
    return std::fclose(f);
}

void logline(const char *text)
{
    appendentry(text);
}

int logmessage(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(runlog.message, messagesize, format, args);
    va_end(args);
    std::printf("%s\n", runlog.message);
    std::fflush(stdout);
    return appendentry(runlog.message);
}

void printprogress(int percent)
{
    static const char bars[] = "==================================================";
    static const char blanks[] = "                                                  ";
    int n = percent / 2;
    std::printf("|%s%s| %i%%\r", bars + 50 - n, blanks + n, percent);
}
